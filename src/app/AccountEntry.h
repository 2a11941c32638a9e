#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Where an account's secret lives. Only the account store moves an account
// from one to another; the save and the check read it.
enum class SecretState : quint8 {
    // The settings file holds the password, and the keyring has not been asked.
    InFile,
    // The keyring has been asked to hold the password as it is now, this run;
    // the file keeps it until the keyring confirms, and a keyring that refused
    // is not asked again until the password changes.
    OfferedToKeyring,
    // The keyring has confirmed that it holds the password as it is now.
    InKeyring,
    // Only the keyring holds the password, and has not given it yet.
    InKeyringUnread,
    // The account signs in with an OAuth2 access token from its provider,
    // whose refresh token the keyring keeps; it has no password at all.
    OAuth2,
};

// How an account's mailbox is reached.
enum class MailProtocol : quint8 { Pop3, Imap };

// One account as the user registered it, plus its seen list.
struct AccountEntry {
    QString UserTitle;
    QString PopAccount;
    QString PopPasswd; // kept as typed; the settings file is owner-only for this reason
    QString PopServer;
    qint32 PopPort = 110;
    qint32 CheckInterval = 0; // minutes between two timed checks
    QStringList UIDL; // identifiers the server listed at the last successful check
    bool Enabled = false;
    bool Deleted = false; // kept in memory for the rest of the run so indices stay valid

    SecretState Secret = SecretState::InFile;
    // The account's own entry in the keyring, named once and kept with it, so
    // that renumbering never hands it to another account; empty until needed.
    QString KeyringEntry;
    // The provider that grants an OAuth2 account its tokens (OAuthProviders).
    QString OAuthProvider;
    // What a double-click on its arrival row starts: a web address or a
    // command line; empty leaves it to the program-wide choice.
    QString OpenMailWith;
    // POP3 unless the user chose IMAP; the server, port and sign-in fields
    // serve both.
    MailProtocol Protocol = MailProtocol::Pop3;

    bool IsOAuth2() const { return Secret == SecretState::OAuth2; }
    // The settings file leaves the password out: the keyring holds it, and
    // either the option keeps it there or it has not been read back yet.
    bool PasswordOnlyInKeyring(bool passwordInKeyringOption) const
    {
        return Secret == SecretState::InKeyringUnread
            || (Secret == SecretState::InKeyring && passwordInKeyringOption);
    }
};
