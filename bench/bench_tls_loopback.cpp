// The client's own cost of TLS, against the scripted server in this process
// on loopback (so both ends' cryptography is counted): the time from the
// connect request to the greeting, plain and over TLS, and the time of a
// check of many new messages, plain and over TLS. Wall-clock and CPU time
// are both given: on a shared machine the wall clock mostly measures waiting
// for a core.
//
//   bench_tls_loopback [messages] [runs] [connections]     (defaults: 2000 5 100)

#include "FakeMailCheckHost.h"
#include "ScriptedMailbox.h"
#include "ScriptedPop3Server.h"
#include "TestAccount.h"
#include "TestCertificates.h"

#include "TlsTestSeam.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "app/NumericText.h"
#include "mail/MailChecker.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>

namespace {

using S = ScriptedPop3Server;

struct Cost {
    double wallMs = 0;
    double cpuMs = 0;
};

// Wall-clock and process CPU time since construction.
class Stopwatch {
public:
    Stopwatch()
        : m_cpu(std::clock())
    {
        m_wall.start();
    }
    Cost elapsed() const
    {
        return { m_wall.nsecsElapsed() / 1e6, 1000.0 * double(std::clock() - m_cpu) / CLOCKS_PER_SEC };
    }

private:
    QElapsedTimer m_wall;
    std::clock_t m_cpu;
};

// Mean time from the connect request to a complete greeting line.
Cost connectToGreeting(quint16 port, int connections)
{
    SocketControl socket;
    socket.setRemoteHost(QStringLiteral("localhost"));
    socket.setRemotePort(port);
    const Stopwatch clock;
    for (int i = 0; i < connections; ++i) {
        if (!socket.Connect())
            return { -1, -1 };
        QByteArray greeting;
        while (!greeting.contains("\r\n")) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (socket.State() == SocketControl::StateError)
                return { -1, -1 };
            greeting += socket.GetBytes();
        }
        socket.Close();
    }
    const Cost total = clock.elapsed();
    return { total.wallMs / connections, total.cpuMs / connections };
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const auto argument = [&](int i, int fallback) {
        return argc > i ? NumericText::ToInt32(QString::fromLocal8Bit(argv[i])) : fallback;
    };
    const int messages = argument(1, 2000);
    const int runs = argument(2, 5);
    const int connections = argument(3, 100);

    TestCertificates certificates;
    if (!certificates.Make()) {
        std::fprintf(stderr, "%s\n", qPrintable(certificates.Error()));
        return 1;
    }
    ScriptedPop3Server plain;
    ScriptedPop3Server tls;
    if (!plain.Listen() || !tls.Listen())
        return 1;
    const QString name = QStringLiteral("localhost");
    tls.UseTls(certificates.Certificate(name), certificates.Key(name));
    TlsTestSeam::TrustAuthorities({ certificates.Authority() });
    TlsTestSeam::SetExtraTlsPort(tls.Port());

    plain.SetDialogue({ S::Greeting("+OK ready\r\n") });
    tls.SetDialogue({ S::Greeting("+OK ready\r\n") });
    const Cost plainConnect = connectToGreeting(plain.Port(), connections);
    const Cost tlsConnect = connectToGreeting(tls.Port(), connections);
    std::printf("connect to greeting, mean of %d: plain %.3f ms (CPU %.3f), TLS %.3f ms (CPU %.3f), "
                "handshake %.3f ms (CPU %.3f)\n",
        connections, plainConnect.wallMs, plainConnect.cpuMs, tlsConnect.wallMs, tlsConnect.cpuMs,
        tlsConnect.wallMs - plainConnect.wallMs, tlsConnect.cpuMs - plainConnect.cpuMs);

    SetOptionDefaults();
    CommonSettings.RecheckMailChecked = true;
    FakeMailCheckHost host;
    host.AddRow(0, true, QStringLiteral("1"));
    MailChecker checker(host);
    host.Watch(checker);
    checker.tmrMailCheck().setEnabled(false);
    plain.SetDialogue(ScriptedMailbox(messages));
    tls.SetDialogue(ScriptedMailbox(messages));

    QList<double> plainMs, plainCpu;
    QList<double> tlsMs, tlsCpu;
    for (int run = 0; run < runs; ++run) {
        for (ScriptedPop3Server* server : { &plain, &tls }) {
            Accounts.clear();
            Accounts.push_back(TestAccount(server->Port()));
            Accounts[0].PopServer = name;
            const Stopwatch clock;
            checker.MailCheck(0);
            const Cost cost = clock.elapsed();
            if (host.Status(0) != QStringLiteral("成功(新着%1件)").arg(messages)) {
                std::fprintf(stderr, "the check failed: %s\n", qPrintable(host.Status(0)));
                return 1;
            }
            (server == &plain ? plainMs : tlsMs) << cost.wallMs / messages;
            (server == &plain ? plainCpu : tlsCpu) << cost.cpuMs / messages;
            std::printf("check %s messages=%d ms=%.1f ms_per_message=%.4f cpu_ms_per_message=%.4f\n",
                server == &plain ? "plain" : "tls", messages, cost.wallMs, cost.wallMs / messages,
                cost.cpuMs / messages);
        }
    }
    std::printf("median ms per message: plain %.4f, TLS %.4f, ratio %.2f\n", median(plainMs), median(tlsMs),
        median(tlsMs) / median(plainMs));
    std::printf("median CPU ms per message: plain %.4f, TLS %.4f, ratio %.2f\n", median(plainCpu),
        median(tlsCpu), median(tlsCpu) / median(plainCpu));
    return 0;
}
