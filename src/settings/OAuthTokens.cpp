#include "settings/OAuthTokens.h"

#include "app/AccountTable.h"
#include "app/OAuthProviders.h"
#include "app/StatusText.h"
#include "platform/KeyringService.h"
#include "platform/OAuthService.h"

#include <QHash>

namespace {

using Result = OAuthService::Result;

// What is left of a token's life when it is renewed before a check.
constexpr qint64 kRenewAheadSeconds = 60;

struct AccessToken {
    QString token;
    QDateTime expiresAt; // invalid: the provider gave no lifetime; used until the server refuses it
};

// By keyring entry, so that accounts sharing a sign-in share its token.
QHash<QString, AccessToken> s_tokens;

QString keyringKey(const QString& provider, const QString& address)
{
    return QStringLiteral("oauth2:") + provider + u':' + address;
}

QString keyringKey(const AccountEntry& account)
{
    return keyringKey(account.OAuthProvider, account.PopAccount);
}

void keep(const QString& key, const OAuthService::Grant& grant)
{
    s_tokens.insert(key, { grant.accessToken, grant.expiresAt });
}

} // namespace

namespace OAuthTokens {

void SignIn(const OAuthProviders::Provider& provider, const QString& address,
    std::function<void(bool signedIn, const QString& why)> done)
{
    const QString key = keyringKey(QString::fromUtf16(provider.name), address);
    OAuthService::Current().SignIn(OAuthProviders::Resolve(provider).client, address,
        [key, done = std::move(done)](
            Result result, const OAuthService::Grant& grant, const QString& reason) {
            if (result != Result::Ok)
                return done(false, reason);
            // Without one the account would fail within the hour: the scope lacks offline access.
            if (grant.refreshToken.isEmpty())
                return done(false, QStringLiteral("プロバイダーがリフレッシュトークンを返しませんでした。"));
            KeyringService::Current().Write(key, grant.refreshToken,
                [key, grant, done](KeyringService::Result written, const QString& why) {
                    if (written != KeyringService::Result::Ok)
                        return done(false, QStringLiteral("キーリングに保存できませんでした: ") + why);
                    keep(key, grant);
                    done(true, {});
                });
        });
}

void CancelSignIn() { OAuthService::Current().CancelSignIn(); }

void AccessToken(const AccountEntry& account, int timeOutMs,
    std::function<void(const QString& token, const QString& status)> done)
{
    const QString key = keyringKey(account);
    if (const auto held = s_tokens.constFind(key); held != s_tokens.cend()
        && (!held->expiresAt.isValid()
            || QDateTime::currentDateTimeUtc().secsTo(held->expiresAt) > kRenewAheadSeconds))
        return done(held->token, {});

    static const QString signInAgain = StatusText::Error(QStringLiteral("ｻｲﾝｲﾝが必要です"));
    const OAuthProviders::Provider* provider = OAuthProviders::Find(account.OAuthProvider);
    if (!provider)
        return done({}, signInAgain);
    KeyringService::Current().Read(key,
        [key, client = OAuthProviders::Resolve(*provider).client, timeOutMs, done = std::move(done)](
            KeyringService::Result read, const QString& refreshToken) {
            if (read == KeyringService::Result::NotFound)
                return done({}, signInAgain);
            if (read != KeyringService::Result::Ok)
                return done({}, StatusText::Error(QStringLiteral("ｷｰﾘﾝｸﾞ ｴﾗｰ")));
            OAuthService::Current().Refresh(client, refreshToken, timeOutMs,
                [key, refreshToken, done](Result result, const OAuthService::Grant& grant, const QString&) {
                    if (result == Result::Refused) {
                        // Revoked or expired: of no use to anyone any more.
                        s_tokens.remove(key);
                        KeyringService::Current().Remove(key, [](KeyringService::Result, const QString&) {});
                        return done({}, signInAgain);
                    }
                    if (result != Result::Ok)
                        return done({}, StatusText::Error(QStringLiteral("ﾄｰｸﾝ ｴﾗｰ")));
                    keep(key, grant);
                    // A provider that hands out a new refresh token may stop taking the old one.
                    if (!grant.refreshToken.isEmpty() && grant.refreshToken != refreshToken)
                        KeyringService::Current().Write(
                            key, grant.refreshToken, [](KeyringService::Result, const QString&) {});
                    done(grant.accessToken, {});
                });
        });
}

void Drop(const AccountEntry& account) { s_tokens.remove(keyringKey(account)); }

void Forget(const AccountEntry& account)
{
    const QString key = keyringKey(account);
    for (const AccountEntry& other : Accounts)
        if (&other != &account && !other.Deleted && other.OAuth2 && keyringKey(other) == key)
            return;
    s_tokens.remove(key);
    KeyringService::Current().Remove(key, [](KeyringService::Result, const QString&) {});
}

} // namespace OAuthTokens
