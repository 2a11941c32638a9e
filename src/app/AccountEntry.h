#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// One POP3 account as the user registered it, plus its seen list.
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

    // The account's own entry in the keyring, named once and kept with it, so
    // that renumbering never hands it to another account; empty until needed.
    QString KeyringEntry;
    // The keyring has confirmed that it holds PopPasswd: the file need not.
    bool PasswdInKeyring = false;
    // The password is only in the keyring, which has not given it (yet).
    bool PasswdUnread = false;
    // This run has asked the keyring once to hold PopPasswd as it is now;
    // a keyring that refused is not asked again until the password changes.
    bool KeyringAsked = false;

    // Signs in with an OAuth2 access token instead of the password; the
    // provider (OAuthProviders) grants it and the keyring keeps its refresh token.
    bool OAuth2 = false;
    QString OAuthProvider;
};
