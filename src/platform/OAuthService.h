#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <functional>

// Where an OAuth2 provider signs its users in and hands out tokens, and who
// this program is to it.
struct OAuthClient {
    QUrl authorizeUrl;
    QUrl tokenUrl;
    QString scope;
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
        Refused, // the provider said no: consent denied, a refresh token revoked or expired
        Failed, // the provider could not be asked or gave no usable answer; try again later
    };
    struct Grant {
        QString accessToken;
        QString refreshToken; // empty when a refresh keeps the one the caller has
        QDateTime expiresAt; // invalid when the provider gave no lifetime
    };
    // `reason` says why, for Refused and Failed.
    using Done = std::function<void(Result result, const Grant& grant, const QString& reason)>;

    virtual ~OAuthService() = default;

    // Opens the browser at the provider's sign-in page and waits for the
    // redirect to a loopback port. One sign-in at a time: a new one cancels
    // the one before, which then never answers.
    virtual void SignIn(const OAuthClient& client, const QString& loginHint, Done done) = 0;
    // Gives up the sign-in in progress without an answer.
    virtual void CancelSignIn() = 0;
    // A new access token for a refresh token; `timeOutMs` is the longest
    // silence of the token endpoint.
    virtual void Refresh(const OAuthClient& client, const QString& refreshToken, int timeOutMs, Done done)
        = 0;

    // The service in use; without one installed every call fails (later).
    static OAuthService& Current();
    static void Install(OAuthService* service);
};
