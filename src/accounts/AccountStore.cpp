#include "accounts/AccountStore.h"

#include "accounts/KeyringPasswords.h"
#include "accounts/OAuthTokens.h"
#include "app/AccountTable.h"
#include "settings/AppSettings.h"

namespace {

void fill(AccountEntry& entry, const AccountFields& fields)
{
    entry.UserTitle = fields.UserTitle;
    entry.PopAccount = fields.PopAccount;
    entry.PopServer = fields.PopServer;
    entry.PopPort = fields.PopPort;
    entry.CheckInterval = fields.CheckInterval;
    entry.OAuthProvider = fields.OAuthProvider;
    // A POP3 identifier and an IMAP UID name different things: a list kept
    // across the change would hide new mail or announce old mail again.
    if (entry.Protocol != fields.Protocol)
        entry.UIDL.clear();
    entry.Protocol = fields.Protocol;
    if (!fields.OAuthProvider.isEmpty()) {
        // The keyring's copy of a former password goes with the save's follow-up.
        entry.Secret = SecretState::OAuth2;
        entry.PopPasswd.clear();
    } else if (entry.IsOAuth2() || entry.PopPasswd != fields.PopPasswd
        || entry.Secret == SecretState::InKeyringUnread) {
        // Whatever the keyring holds is not this password.
        entry.Secret = SecretState::InFile;
        entry.PopPasswd = fields.PopPasswd;
    }
}

} // namespace

namespace AccountStore {

qint32 Add(const AccountFields& fields)
{
    // A deque keeps every entry in place, so a check that is using one goes
    // on undisturbed while the table grows.
    const auto index = qint32(Accounts.size());
    AccountEntry& entry = Accounts.emplace_back();
    fill(entry, fields);
    entry.Enabled = true;
    Save();
    return index;
}

UpdateResult Update(qint32 index, const AccountFields& fields)
{
    if (!IsLive(index))
        return UpdateResult::Gone;
    AccountEntry& entry = Accounts[std::size_t(index)];
    const AccountEntry before = entry;
    fill(entry, fields);
    bool signedIn = true;
    if (before.IsOAuth2() && entry.IsOAuth2())
        signedIn = OAuthTokens::Follow(before, entry);
    else if (before.IsOAuth2())
        OAuthTokens::Forget(before);
    Save();
    return signedIn ? UpdateResult::Stored : UpdateResult::SignInNeeded;
}

bool Delete(qint32 index)
{
    if (!IsLive(index))
        return false;
    AccountEntry& entry = Accounts[std::size_t(index)];
    entry.Deleted = true;
    if (entry.IsOAuth2())
        OAuthTokens::Forget(entry);
    Save();
    return true;
}

void SetEnabled(qint32 index, bool enabled)
{
    if (IsLive(index))
        Accounts[std::size_t(index)].Enabled = enabled;
}

void SeenListChanged(qint32 index, const QStringList& identifiers)
{
    if (!IsAccountIndex(index) || Accounts[std::size_t(index)].UIDL == identifiers)
        return;
    Accounts[std::size_t(index)].UIDL = identifiers;
    Save();
}

void Save()
{
    // A file that could not be written may still need what the keyring holds.
    if (SaveSettings())
        KeyringPasswords::FollowSave();
}

bool IsLive(qint64 index) { return IsAccountIndex(index) && !Accounts[std::size_t(index)].Deleted; }

} // namespace AccountStore
