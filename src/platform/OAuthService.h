#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <utility>

// Where an OAuth2 provider signs its users in and hands out tokens, and who
// this program is to it.
struct OAuthClient {
    QUrl authorizeUrl;
    QUrl tokenUrl;
    QString scope; // asked for at the sign-in, and again at every refresh
    // Further fields of the sign-in page's address, with their values as they read.
    QList<std::pair<QString, QString>> authorizeParameters;
    QString clientId;
    QString clientSecret; // empty for providers that trust a desktop client without one
};

// Signs a user in to an OAuth2 provider in the desktop's browser and renews
// the access tokens it grants. Every call answers later, from the event loop:
// the user takes their time in the browser, and the window must go on
// meanwhile. The program answers with Qt NetworkAuth; tests of the core
// answer from a script.
class OAuthService {
public:
    enum class Result {
        Ok,
        Refused, // the provider said no: consent denied, a refresh token revoked or expired,
                 // or the user must sign in again to pass new rules (multi-factor, consent)
        Unregistered, // the provider does not know this program as a client: its registration is wrong
        Failed, // the provider could not be asked or gave no usable answer; try again later
    };
    struct Grant {
        QString accessToken;
        QString refreshToken; // empty when a refresh keeps the one the caller has
        QDateTime expiresAt; // invalid when the provider gave no lifetime
        QString account; // the address that signed in, where the answer names it
    };
    // `reason` says why, for every result but Ok: the provider's error code
    // where it gave one, which is what a user can search for.
    using Done = std::function<void(Result result, const Grant& grant, const QString& reason)>;

    virtual ~OAuthService() = default;

    // Opens the browser at the provider's sign-in page and waits for the
    // redirect to a loopback port. One sign-in at a time: a new one cancels
    // the one before, which then never answers.
    virtual void SignIn(const OAuthClient& client, const QString& loginHint, Done done) = 0;
    // Gives up the sign-in in progress without an answer.
    virtual void CancelSignIn() = 0;
    // A new access token for a refresh token, within `timeOutMs`.
    virtual void Refresh(const OAuthClient& client, const QString& refreshToken, int timeOutMs, Done done)
        = 0;

    // The service in use; without one installed every call fails (later).
    static OAuthService& Current();
    static void Install(OAuthService* service);
};
