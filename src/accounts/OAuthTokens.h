#pragma once

#include "app/AccountEntry.h"
#include "app/StatusText.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace OAuthProviders {
struct Provider;
}

// The tokens of the accounts that sign in with OAuth2. A refresh token lives
// in the keyring under one entry per provider and address; the access token
// lives in memory only, and is renewed shortly before it runs out. Every
// keyring and provider call is asynchronous.
namespace OAuthTokens {

// Signs the address in with the provider in the browser, for the scope of the
// protocol. On success the keyring holds the refresh token and the access
// token is at hand; `why` says what went wrong otherwise.
void SignIn(const OAuthProviders::Provider& provider, MailProtocol protocol, const QString& address,
    std::function<void(bool signedIn, const QString& why)> done);
// Gives up the sign-in in progress; its `done` is never called.
void CancelSignIn();

// An access token for the account: at once while the one in memory has more
// than a minute left, else after a refresh. Without a token, `failure` says why. A provider that refuses the
// refresh token has it thrown away, so the account fails until the user signs in again; a provider that
// cannot be reached leaves it for the next check.
void AccessToken(const AccountEntry& account, int timeOutMs,
    std::function<void(const QString& token, const std::optional<CheckFailure>& failure)> done);

// What the renewal takes as the time now: the system's clock, unless a test
// steps it (an empty function gives the system's back).
void SetClock(std::function<QDateTime()> now);

// The server refused the token: the next check asks for a new one.
void Drop(const AccountEntry& account);

// The account is gone, or signs in otherwise now: its refresh token leaves
// the keyring unless another account signs in with the same one.
void Forget(const AccountEntry& account);

// The OAuth2 account's address or provider changed from `before`: the
// refresh token follows it when the provider's account is the same (the
// address differs only in letter case), and is given up otherwise, unless
// another account still signs in with it. False when no sign-in is held for
// the account as it is now, so that it must sign in again.
bool Follow(const AccountEntry& before, const AccountEntry& account);

} // namespace OAuthTokens
