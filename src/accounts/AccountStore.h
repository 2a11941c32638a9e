#pragma once

#include "app/AccountEntry.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

// An account's values as the user types them in the editor.
struct AccountFields {
    QString UserTitle;
    QString PopAccount;
    QString PopPasswd; // ignored for an OAuth2 account
    QString PopServer;
    qint32 PopPort = 110;
    qint32 CheckInterval = 0;
    QString OAuthProvider; // empty: the account signs in with its password
    MailProtocol Protocol = MailProtocol::Pop3;
};

// The one place that changes the accounts. Each change is saved at once, the
// keyring follows the save, and a token nothing signs in with any more
// leaves the keyring: no caller writes an account itself.
namespace AccountStore {

// Registers a new, ticked account; returns its index.
qint32 Add(const AccountFields& fields);

// What an update leaves to be told.
enum class UpdateResult {
    Stored,
    // Nothing is left to update: the account was deleted.
    Gone,
    // The account's OAuth2 address now names a sign-in the keyring does not
    // hold: it signs in again before its next check succeeds.
    SignInNeeded,
};
// Stores the values into the account. A password account switched to
// OAuth2 loses its password in memory, in the file and in the keyring; an
// OAuth2 account whose address or provider changes takes its refresh token
// along when the provider's account is the same, and otherwise gives it up.
// An account whose protocol changes starts with an empty seen list.
UpdateResult Update(qint32 index, const AccountFields& fields);

// Deletes the account, with its password and token in the keyring; false
// when it was deleted already.
bool Delete(qint32 index);

// Ticks or unticks the account; the next save writes it.
void SetEnabled(qint32 index, bool enabled);

// A check listed these identifiers; a changed list is saved at once, so that
// an end without a save announces nothing twice.
void SeenListChanged(qint32 index, const QStringList& identifiers);

// Writes the settings file, and the keyring follows it.
void Save();

// Whether the index names an account that has not been deleted.
bool IsLive(qint64 index);

} // namespace AccountStore
