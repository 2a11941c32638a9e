#include "accounts/OAuthTokens.h"

#include "accounts/OAuthProviders.h"
#include "app/AccountTable.h"
#include "app/StatusText.h"
#include "platform/KeyringService.h"
#include "platform/OAuthService.h"

#include <QHash>

namespace {

using Result = OAuthService::Result;

// What is left of a token's life when it is renewed before a check.
constexpr qint64 kRenewAheadSeconds = 60;

std::function<QDateTime()> s_now = &QDateTime::currentDateTimeUtc;

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

// Whether an account other than `account` signs in with the key.
bool shared(const QString& key, const AccountEntry& account)
{
    for (const AccountEntry& other : Accounts)
        if (&other != &account && !other.Deleted && other.IsOAuth2() && keyringKey(other) == key)
            return true;
    return false;
}

void removeKey(const QString& key)
{
    s_tokens.remove(key);
    KeyringService::Current().Remove(key, [](KeyringService::Result, const QString&) {});
}

void keep(const QString& key, const OAuthService::Grant& grant)
{
    s_tokens.insert(key, { grant.accessToken, grant.expiresAt });
}

} // namespace

namespace OAuthTokens {

void SignIn(const OAuthProviders::Provider& provider, MailProtocol protocol, const QString& address,
    std::function<void(bool signedIn, const QString& why)> done)
{
    const QString key = keyringKey(QString::fromUtf16(provider.name), address);
    OAuthService::Current().SignIn(OAuthProviders::Resolve(provider, protocol).client, address,
        [key, address, done = std::move(done)](
            Result result, const OAuthService::Grant& grant, const QString& reason) {
            if (result != Result::Ok)
                return done(false, reason);
            // Without one the account would fail within the hour: the scope lacks offline access.
            if (grant.refreshToken.isEmpty())
                return done(false, QStringLiteral("プロバイダーがリフレッシュトークンを返しませんでした。"));
            // The address typed was only a hint: a browser signed in to another
            // account gives that account's token, which the server then refuses.
            if (!grant.account.isEmpty()
                && grant.account.compare(address.trimmed(), Qt::CaseInsensitive) != 0)
                return done(false,
                    QStringLiteral("サインインしたアカウント (%1) が入力したアドレス (%2) と違います。")
                        .arg(grant.account, address));
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
    std::function<void(const QString& token, const std::optional<CheckFailure>& failure)> done)
{
    const QString key = keyringKey(account);
    if (const auto held = s_tokens.constFind(key); held != s_tokens.cend()
        && (!held->expiresAt.isValid() || s_now().secsTo(held->expiresAt) > kRenewAheadSeconds))
        return done(held->token, std::nullopt);

    const CheckFailure signInAgain { CheckFailure::Step::SignIn, {} };
    const OAuthProviders::Provider* provider = OAuthProviders::Find(account.OAuthProvider);
    if (!provider)
        return done({}, signInAgain);
    KeyringService::Current().Read(key,
        [key, client = OAuthProviders::Resolve(*provider, account.Protocol).client, timeOutMs, signInAgain,
            done = std::move(done)](KeyringService::Result read, const QString& refreshToken) {
            if (read == KeyringService::Result::NotFound)
                return done({}, signInAgain);
            if (read != KeyringService::Result::Ok)
                return done({}, CheckFailure { CheckFailure::Step::Keyring, {} });
            OAuthService::Current().Refresh(client, refreshToken, timeOutMs,
                [key, refreshToken, done](
                    Result result, const OAuthService::Grant& grant, const QString& reason) {
                    if (result == Result::Refused) {
                        // Of no use to anyone any more: only a new sign-in gets a new one.
                        s_tokens.remove(key);
                        KeyringService::Current().Remove(key, [](KeyringService::Result, const QString&) {});
                        return done({}, CheckFailure { CheckFailure::Step::SignIn, reason });
                    }
                    if (result == Result::Unregistered)
                        return done({}, CheckFailure { CheckFailure::Step::Registration, reason });
                    if (result != Result::Ok)
                        return done({}, CheckFailure { CheckFailure::Step::Token, reason });
                    keep(key, grant);
                    // A provider that hands out a new refresh token may stop taking the old one.
                    if (!grant.refreshToken.isEmpty() && grant.refreshToken != refreshToken)
                        KeyringService::Current().Write(
                            key, grant.refreshToken, [](KeyringService::Result, const QString&) {});
                    done(grant.accessToken, std::nullopt);
                });
        });
}

void SetClock(std::function<QDateTime()> now)
{
    s_now = now ? std::move(now) : &QDateTime::currentDateTimeUtc;
}

void Drop(const AccountEntry& account) { s_tokens.remove(keyringKey(account)); }

void Forget(const AccountEntry& account)
{
    if (const QString key = keyringKey(account); !shared(key, account))
        removeKey(key);
}

bool Follow(const AccountEntry& before, const AccountEntry& account)
{
    const QString from = keyringKey(before);
    const QString to = keyringKey(account);
    if (from == to)
        return true;
    const bool fromShared = shared(from, account);
    // Signed in just now with the new address, or by another account.
    if (s_tokens.contains(to) || shared(to, account)) {
        if (!fromShared)
            removeKey(from);
        return true;
    }
    // Providers take an address in any letter case as the same account.
    const bool sameAccount = before.OAuthProvider.compare(account.OAuthProvider, Qt::CaseInsensitive) == 0
        && before.PopAccount.trimmed().compare(account.PopAccount.trimmed(), Qt::CaseInsensitive) == 0;
    if (!sameAccount) {
        if (!fromShared)
            removeKey(from);
        return false;
    }
    if (const auto held = s_tokens.constFind(from); held != s_tokens.cend())
        s_tokens.insert(to, *held);
    if (!fromShared)
        s_tokens.remove(from);
    // Whatever becomes of the copy, the old name is of no use any more.
    const auto giveUpOld = [from, fromShared] {
        if (!fromShared)
            KeyringService::Current().Remove(from, [](KeyringService::Result, const QString&) {});
    };
    KeyringService::Current().Read(
        from, [to, giveUpOld](KeyringService::Result read, const QString& refreshToken) {
            if (read != KeyringService::Result::Ok)
                return giveUpOld();
            KeyringService::Current().Write(
                to, refreshToken, [giveUpOld](KeyringService::Result, const QString&) { giveUpOld(); });
        });
    return true;
}

} // namespace OAuthTokens
