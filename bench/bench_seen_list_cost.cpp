// Time that a seen list of 10,000 identifiers adds to a check of a mailbox of
// 10,000 messages (the seen test runs once per message). Prints figures only.
#include "FakeMailCheckHost.h"
#include "ScriptedMailbox.h"
#include "ScriptedPop3Server.h"
#include "TestAccount.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/TimerControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using S = ScriptedPop3Server;

struct Cost {
    double wallMs;
    double cpuMs; // client and in-process server together
};

Cost runCheck(S& server, FakeMailCheckHost& host, MailChecker& checker, const QStringList& seen)
{
    Accounts[0].UIDL = seen;
    server.ClearReceived();
    host.arrival.calls.clear();
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = ProcessCpuMs();
    checker.MailCheck(0);
    return { double(timer.nsecsElapsed()) / 1e6, ProcessCpuMs() - cpuBefore };
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int messages = 10000;
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;

    S server;
    if (!server.Listen())
        return 1;
    server.SetDialogue(ScriptedMailbox(messages));

    Accounts.push_back(TestAccount(server.Port()));
    CommonSettings.PopTimeOut = 60;
    CommonSettings.RecheckMailChecked = false;

    FakeMailCheckHost host;
    host.AddRow(0, true, QStringLiteral("5"));
    MailChecker checker(host);
    host.Watch(checker);
    checker.tmrMailCheck().setEnabled(false);

    QStringList seen;
    for (int j = 1; j <= messages; ++j)
        seen << QStringLiteral("old-%1").arg(j, 8, 10, QLatin1Char('0'));

    std::vector<double> wallWithout, wallWith, cpuWithout, cpuWith;
    for (int round = 0; round < rounds; ++round) {
        const Cost without = runCheck(server, host, checker, {});
        const Cost with = runCheck(server, host, checker, seen);
        wallWithout.push_back(without.wallMs);
        cpuWithout.push_back(without.cpuMs);
        wallWith.push_back(with.wallMs);
        cpuWith.push_back(with.cpuMs);
    }
    const double base = median(wallWithout);
    const double loaded = median(wallWith);
    const double cpuBase = median(cpuWithout);
    const double cpuLoaded = median(cpuWith);

    // The seen test on its own, as the check does it: one set built from the
    // seen list, one look-up per message.
    QElapsedTimer setTimer;
    setTimer.start();
    const QSet<QString> seenSet(seen.cbegin(), seen.cend());
    int setHits = 0;
    for (int j = 1; j <= messages; ++j)
        setHits += seenSet.contains(QString::fromLatin1(ScriptedMailboxId(j)));
    const double setMs = double(setTimer.nsecsElapsed()) / 1e6;

    // For scale: what a scan of the seen list per message would cost.
    QElapsedTimer scanTimer;
    scanTimer.start();
    int hits = 0;
    for (int j = 1; j <= messages; ++j) {
        const QString id = QString::fromLatin1(ScriptedMailboxId(j));
        hits += std::any_of(seen.cbegin(), seen.cend(), [&](const QString& s) { return s.contains(id); });
    }
    const double scanMs = double(scanTimer.nsecsElapsed()) / 1e6;

    std::printf("check of %d messages, all fetched, median of %d rounds\n", messages, rounds);
    std::printf("  status:                     %s\n", qPrintable(host.Status(0)));
    std::printf("  seen list empty:            %.1f ms wall, %.1f ms CPU\n", base, cpuBase);
    std::printf("  seen list of %d:         %.1f ms wall, %.1f ms CPU\n", messages, loaded, cpuLoaded);
    std::printf("  added by the seen list:     %.1f ms wall (%.2f %%), %.1f ms CPU (%.2f %%)\n",
        loaded - base, 100.0 * (loaded - base) / base, cpuLoaded - cpuBase,
        100.0 * (cpuLoaded - cpuBase) / cpuBase);
    std::printf(
        "  seen test alone (set of %d, %d look-ups): %.2f ms, %d hits\n", messages, messages, setMs, setHits);
    std::printf("  (a substring scan per message would take %.1f ms, %d hits)\n", scanMs, hits);
    return 0;
}
