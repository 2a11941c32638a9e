#include "platform/oauth/QtOAuthService.h"

#include "platform/Pkce.h"
#include "platform/gui/ShellOpenService.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QOAuthOobReplyHandler>
#include <QTimer>

namespace {

using Result = OAuthService::Result;
using Stage = QAbstractOAuth::Stage;
using Parameters = QMultiMap<QString, QVariant>;

constexpr int kSignInTimeOutMs = 30000; // the token endpoint's longest silence after the redirect

// Qt 6.4's reply handlers drop a token endpoint's error answer with only a
// warning, and the flow then never finishes. This one hands it on, so that a
// revoked refresh token can be told from a provider that cannot be reached.
template <typename Base> class TokenReplyHandler final : public Base {
public:
    using Base::Base;
    std::function<void(Result, const QString&)> failed;

    // The browser comes back to "localhost", the name providers accept for a
    // desktop client on any port, while only the loopback address listens.
    QString callback() const override
    {
        QUrl url(Base::callback());
        if (url.host() == u"127.0.0.1")
            url.setHost(QStringLiteral("localhost"));
        return url.toString(QUrl::FullyEncoded);
    }

    void networkReplyFinished(QNetworkReply* reply) override
    {
        if (reply->error() == QNetworkReply::NoError) {
            Base::networkReplyFinished(reply);
            return;
        }
        const QString error = QJsonDocument::fromJson(reply->readAll()).object().value(u"error").toString();
        if (error.isEmpty())
            failed(Result::Failed, reply->errorString());
        else
            failed(resultOf(error), error);
    }

private:
    // What the provider's error code says of the grant. The grant is gone
    // (revoked, expired, a password changed), or the user must sign in again
    // to pass new multi-factor, conditional-access or consent rules; or the
    // program's registration with the provider is wrong, which neither the
    // user nor a retry can mend; anything else may pass.
    static Result resultOf(const QString& error)
    {
        if (error == u"invalid_grant" || error == u"interaction_required" || error == u"consent_required")
            return Result::Refused;
        if (error == u"invalid_client" || error == u"unauthorized_client")
            return Result::Unregistered;
        return Result::Failed;
    }
};

// The address in the ID token that came with the tokens (straight from the
// provider, so its signature adds nothing): "email", else Microsoft's
// "preferred_username"; empty when there is none.
QString signedInAccount(const QVariantMap& extraTokens)
{
    const QList<QByteArray> parts
        = extraTokens.value(QStringLiteral("id_token")).toString().toLatin1().split('.');
    if (parts.size() != 3)
        return {};
    const QJsonObject claims
        = QJsonDocument::fromJson(QByteArray::fromBase64(parts[1], QByteArray::Base64UrlEncoding)).object();
    const QString email = claims.value(u"email").toString();
    return email.isEmpty() ? claims.value(u"preferred_username").toString() : email;
}

// Calls `done` once, whichever of the flow's ends comes first.
std::shared_ptr<OAuthService::Done> once(OAuthService::Done done)
{
    return std::make_shared<OAuthService::Done>(std::move(done));
}

void finish(const std::shared_ptr<OAuthService::Done>& done, Result result, const OAuthService::Grant& grant,
    const QString& reason)
{
    if (!*done)
        return;
    const OAuthService::Done call = std::exchange(*done, nullptr);
    call(result, grant, reason);
}

template <typename Handler>
void connectEnds(
    QOAuth2AuthorizationCodeFlow& flow, Handler& handler, std::shared_ptr<OAuthService::Done> done)
{
    handler.failed = [done](Result result, const QString& reason) { finish(done, result, {}, reason); };
    QObject::connect(
        &flow, &QAbstractOAuth::statusChanged, &flow, [&flow, done](QAbstractOAuth::Status status) {
            if (status == QAbstractOAuth::Status::Granted)
                finish(done, Result::Ok,
                    { flow.token(), flow.refreshToken(), flow.expirationAt(),
                        signedInAccount(flow.extraTokens()) },
                    {});
        });
    // The browser came back with a refusal (access_denied when the user said no).
    QObject::connect(&flow, &QAbstractOAuth2::error, &flow,
        [done](const QString& error, const QString& description, const QUrl&) {
            finish(done, Result::Refused, {},
                description.isEmpty() ? error : error + QStringLiteral(": ") + description);
        });
    QObject::connect(&flow, &QAbstractOAuth::requestFailed, &flow, [done](QAbstractOAuth::Error) {
        finish(done, Result::Failed, {}, QStringLiteral("OAuth2 request failed"));
    });
}

// A public client has no secret to send, and a strict provider refuses an empty one.
void dropEmptySecret(Parameters& parameters)
{
    if (parameters.value(QStringLiteral("client_secret")).toString().isEmpty())
        parameters.remove(QStringLiteral("client_secret"));
}

void configure(QOAuth2AuthorizationCodeFlow& flow, const OAuthClient& client, int timeOutMs)
{
    // The flow has no manager of its own.
    auto* manager = new QNetworkAccessManager(&flow);
    manager->setTransferTimeout(timeOutMs);
    flow.setNetworkAccessManager(manager);
    flow.setAuthorizationUrl(client.authorizeUrl);
    flow.setAccessTokenUrl(client.tokenUrl);
    flow.setScope(client.scope);
    flow.setClientIdentifier(client.clientId);
    flow.setClientIdentifierSharedKey(client.clientSecret);
}

} // namespace

QtOAuthService::QtOAuthService() = default;

QtOAuthService::~QtOAuthService() = default;

void QtOAuthService::SignIn(const OAuthClient& client, const QString& loginHint, Done done)
{
    CancelSignIn();
    m_signIn = std::make_unique<QOAuth2AuthorizationCodeFlow>();
    QOAuth2AuthorizationCodeFlow& flow = *m_signIn;
    configure(flow, client, kSignInTimeOutMs);
    // Only this machine may answer, never the network around it.
    auto* handler = new TokenReplyHandler<QOAuthHttpServerReplyHandler>(QHostAddress::LocalHost, 0, &flow);
    handler->setCallbackText(QStringLiteral("サインインしました。このページを閉じてください。"));
    flow.setReplyHandler(handler);
    auto ends = once(std::move(done));
    connectEnds(flow, *handler, ends);
    if (!handler->isListening()) {
        QTimer::singleShot(
            0, &flow, [ends] { finish(ends, Result::Failed, {}, QStringLiteral("No loopback port")); });
        return;
    }

    const QByteArray verifier = Pkce::NewVerifier();
    flow.setModifyParametersFunction([verifier, loginHint, extra = client.authorizeParameters](
                                         Stage stage, Parameters* parameters) {
        if (stage == Stage::RequestingAuthorization) {
            // The address keeps what it is given as it is: a "+" would reach
            // the provider as a blank, so each value goes in encoded.
            const auto add = [parameters](const QString& name, const QString& value) {
                parameters->replace(name, QString::fromLatin1(QUrl::toPercentEncoding(value)));
            };
            add(QStringLiteral("code_challenge"), QString::fromLatin1(Pkce::S256Challenge(verifier)));
            add(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
            if (!loginHint.isEmpty())
                add(QStringLiteral("login_hint"), loginHint);
            for (const auto& [name, value] : extra)
                add(name, value);
        } else if (stage == Stage::RequestingAccessToken) {
            // The flow encodes the code once more than the form needs when it
            // came back with escapes (Google's hold a "/"); a code never holds "%".
            const QByteArray code = parameters->value(QStringLiteral("code")).toByteArray();
            parameters->replace(QStringLiteral("code"),
                QUrl::toPercentEncoding(QUrl::fromPercentEncoding(QUrl::fromPercentEncoding(code).toUtf8())));
            parameters->insert(QStringLiteral("code_verifier"), verifier);
            dropEmptySecret(*parameters);
        }
    });
    QObject::connect(&flow, &QAbstractOAuth::authorizeWithBrowser, &flow, [ends](const QUrl& url) {
        if (!ShellOpenService::Current().OpenUrl(url))
            finish(ends, Result::Failed, {}, QStringLiteral("No browser could be started"));
    });
    flow.grant();
}

void QtOAuthService::CancelSignIn()
{
    // Closing the flow closes its loopback port: a late redirect finds nobody.
    if (m_signIn)
        m_signIn.release()->deleteLater();
}

void QtOAuthService::Refresh(const OAuthClient& client, const QString& refreshToken, int timeOutMs, Done done)
{
    if (refreshToken.isEmpty()) {
        // Qt's flow would only warn and never finish.
        QTimer::singleShot(
            0, [done = std::move(done)] { done(Result::Refused, {}, QStringLiteral("No refresh token")); });
        return;
    }
    auto* flow = new QOAuth2AuthorizationCodeFlow;
    configure(*flow, client, timeOutMs);
    flow->setRefreshToken(refreshToken);
    auto* handler = new TokenReplyHandler<QOAuthOobReplyHandler>(flow);
    flow->setReplyHandler(handler);
    flow->setModifyParametersFunction([scope = client.scope](Stage stage, Parameters* parameters) {
        // A refresh has no redirect; Microsoft wants the scope again, as its
        // own libraries send it.
        if (stage != Stage::RefreshingAccessToken)
            return;
        parameters->remove(QStringLiteral("redirect_uri"));
        dropEmptySecret(*parameters);
        parameters->replace(QStringLiteral("scope"), scope);
    });
    auto ends
        = once([flow, done = std::move(done)](Result result, const Grant& grant, const QString& reason) {
              flow->deleteLater();
              done(result, grant, reason);
          });
    connectEnds(*flow, *handler, ends);
    // An answer Qt's flow cannot take (one without a content type, say)
    // would keep every later check waiting behind this one.
    QTimer::singleShot(timeOutMs, flow, [ends, timeOutMs] {
        finish(ends, Result::Failed, {}, QStringLiteral("no token within %1 s").arg(timeOutMs / 1000));
    });
    flow->refreshAccessToken();
}
