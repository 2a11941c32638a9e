#include "TestAccount.h"

AccountEntry TestAccount(quint16 port, qint32 checkInterval)
{
    AccountEntry entry;
    entry.UserTitle = QStringLiteral("home");
    entry.PopAccount = QStringLiteral("taro");
    entry.PopPasswd = QStringLiteral("secret");
    entry.PopServer = QStringLiteral("127.0.0.1");
    entry.PopPort = port;
    entry.CheckInterval = checkInterval;
    entry.Enabled = true;
    return entry;
}
