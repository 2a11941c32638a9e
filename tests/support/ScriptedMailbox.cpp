#include "ScriptedMailbox.h"

#include <ctime>

QByteArray ScriptedMailboxId(int j)
{
    return QByteArray("srv-") + QByteArray::number(j).rightJustified(8, '0');
}

QList<ScriptedPop3Server::Step> ScriptedMailbox(int messages)
{
    using S = ScriptedPop3Server;
    QList<S::Step> d { S::Greeting("+OK ready\r\n"), S::Exchange("USER taro", "+OK\r\n"),
        S::Exchange("PASS secret", "+OK\r\n"),
        S::Exchange("STAT ", "+OK " + QByteArray::number(messages) + " 1\r\n") };
    for (int j = 1; j <= messages; ++j) {
        const QByteArray n = QByteArray::number(j);
        d << S::Exchange("UIDL " + n, "+OK " + n + " " + ScriptedMailboxId(j) + "\r\n")
          << S::Exchange("TOP " + n + " 0", "+OK\r\nFrom: a@example.jp\r\nSubject: s" + n + "\r\n\r\n.\r\n");
    }
    d << S::Exchange("QUIT", "+OK\r\n", S::After::Close);
    return d;
}

double ProcessCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}
