// CPU time a check uses while it waits for a server that never answers.
// Prints the figure; decides nothing.
#include "FakeMailCheckHost.h"
#include "ScriptedPop3Server.h"
#include "TestAccount.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/TimerControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <ctime>

namespace {

double processCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;

    ScriptedPop3Server server;
    if (!server.Listen())
        return 1;
    // The server accepts the connection and then says nothing at all.
    server.SetDialogue({ ScriptedPop3Server::Greeting("", ScriptedPop3Server::After::Silence) });

    Accounts.push_back(TestAccount(server.Port()));
    CommonSettings.PopTimeOut = seconds;

    FakeMailCheckHost host;
    host.AddRow(0, true, QStringLiteral("5"));
    MailChecker checker(host);
    host.Watch(checker);
    checker.tmrMailCheck().setEnabled(false);

    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = processCpuSeconds();
    checker.MailCheck(0);
    const double cpu = processCpuSeconds() - cpuBefore;
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;

    std::printf("silent server, PopTimeOut %d s\n", seconds);
    std::printf("  status:      %s\n", qPrintable(host.Status(0)));
    std::printf("  wall time:   %.3f s\n", elapsed);
    std::printf("  CPU time:    %.2f ms\n", cpu * 1000.0);
    std::printf("  CPU share:   %.4f %% of one core\n", 100.0 * cpu / elapsed);
    return 0;
}
