// How soon a check follows the machine's wake and the network's return, and
// how many checks a flapping network starts, with the program's own timers
// running: the login manager and NetworkManager are tests/support's stand-ins
// on a private system bus, the account a scripted POP3 server on loopback.
//
//   bench_wake_check [runs]   (9 by default)

#include "FakeMailCheckHost.h"
#include "PrivateBus.h"
#include "ScriptedPop3Server.h"
#include "TestAccount.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/NetworkWatch.h"
#include "platform/SleepWatch.h"
#include "platform/TimerControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using S = ScriptedPop3Server;

namespace {

// Runs events until `done` or the time is up; false when it is.
template <typename Done> bool waitFor(Done done, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void pause(int milliseconds)
{
    waitFor([] { return false; }, milliseconds);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    PrivateBus bus;
    if (!bus.Start(QStringLiteral("system_services.py"))) {
        std::fprintf(stderr, "no private bus (dbus-run-session and python3-dbus-next are needed)\n");
        return 1;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.Address());
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 9;
    bus.Ask("login1 on");
    bus.Ask("network on");
    bus.Ask("state 70");

    ScriptedPop3Server server;
    server.SetDialogue({ S::Greeting("+OK ready\r\n"), S::Exchange("USER taro", "+OK\r\n"),
        S::Exchange("PASS secret", "+OK\r\n"), S::Exchange("STAT ", "+OK 0 0\r\n"),
        S::Exchange("QUIT", "+OK bye\r\n", S::After::Close) });
    if (!server.Listen())
        return 1;
    CommonSettings = CommonSettingsRecord();
    Accounts.push_back(TestAccount(server.Port(), 60));
    FakeMailCheckHost host;
    host.AddRow(0, true, QStringLiteral("60"));
    QElapsedTimer since;
    QList<double> started;
    host.onStatus = [&](qint32, const QString& status) {
        if (status == u"ﾒｰﾙﾁｪｯｸ中")
            started << since.nsecsElapsed() / 1e6;
    };
    // A checker of its own for each run, so that no run waits out the floor
    // of the one before.
    struct Program {
        explicit Program(FakeMailCheckHost& host)
            : checker(host)
        {
            host.Watch(checker);
            checker.Follow(sleep, network);
        }
        MailChecker checker;
        SleepWatch sleep { QStringLiteral("bench") };
        NetworkWatch network;
    };

    auto measure = [&](const char* what, const QByteArray& before, const QByteArray& event) {
        QList<double> times;
        for (int run = 0; run < runs; ++run) {
            bus.Ask("state 70");
            Program program(host);
            bus.Ask(before);
            pause(300);
            started.clear();
            since.start();
            bus.Ask(event);
            if (!waitFor([&] { return !started.isEmpty(); }, 10000)) {
                std::printf("%s: no check within 10 s\n", what);
                return;
            }
            times << started.first();
        }
        std::sort(times.begin(), times.end());
        std::printf("%s to the check's start, %d runs: min %.0f ms, median %.0f ms, max %.0f ms\n", what,
            runs, times.first(), median(times), times.last());
    };
    measure("wake", "sleep", "wake");
    measure("network's return", "state 20", "state 70");

    // Ten losses and returns within ten seconds, then the floor's end.
    Program program(host);
    pause(300);
    started.clear();
    since.start();
    for (int flap = 0; flap < 10; ++flap) {
        bus.Ask("state 20");
        pause(500);
        bus.Ask("state 70");
        pause(500);
    }
    const qsizetype during = started.size();
    waitFor([&] { return !program.checker.tmrCatchUp().Enabled(); }, 40000);
    std::printf("network flapping 10 times in 10 s: %lld checks started during it, %lld by the floor's end "
                "(the last %.1f s after the first loss)\n",
        static_cast<long long>(during), static_cast<long long>(started.size()),
        started.isEmpty() ? 0.0 : started.last() / 1000);
    return 0;
}
