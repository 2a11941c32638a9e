#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// One POP3 account as the user registered it, plus its seen list.
struct AccountEntry {
    QString UserTitle;
    QString PopAccount;
    QString PopPasswd;  // kept as typed; the settings file is owner-only for this reason
    QString PopServer;
    qint32 PopPort = 110;
    qint32 CheckInterval = 0;  // minutes between two timed checks
    QStringList UIDL;          // identifiers the server listed at the last successful check
    bool Enabled = false;
    bool Deleted = false;  // kept in memory for the rest of the run so indices stay valid
};
