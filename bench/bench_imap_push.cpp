// Push on IMAP accounts against Dovecot on loopback. Prints figures; decides
// nothing.
//   - The time from a delivery into the Maildir to the arrival row, one
//     message at a time while the account idles: counted from just before the
//     delivery call and from just after it returns. A bare IDLE client of its
//     own beside the program hears the server's EXISTS too; from the delivery
//     to that is the server's share, which no client can shorten. The server
//     tells each session apart, so the split is good to a few milliseconds
//     (the program's share can even come out just below zero).
//   - The CPU the program spends with three accounts in IDLE and nothing
//     arriving.
//
//   bench_imap_push [deliveries] [idle-seconds]     (defaults: 20 30)
//
// Needs root: the private Dovecot switches users (bench/imap_push.sh runs it).
//
// With --server it walks one account through a server that someone else runs
// (bench/imap_interop.sh) and prints one line, its fields apart by tabs: the
// STATUS of a first check, of a check with nothing new, of the checks after one
// delivery, how a delivery while idling reached the arrival row (the push's
// latency from the end of the delivery command, or "timed" and the STATUS of
// the timed check that found it), the STATUS of the checks on a new connection
// after one more delivery while none was open, and the subjects announced, in
// order.
//
//   bench_imap_push --server <port> <authority.pem> <user> <password> <tls|starttls>
//                   <deliver-command> [push-wait-seconds]     (default 10)
//
// The delivery command runs in sh with the subject as $1.

#include "DovecotFixture.h"
#include "FakeMailCheckHost.h"
#include "ScriptedMailbox.h"
#include "TestAccount.h"
#include "TlsTestSeam.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/ImapConnection.h"
#include "mail/MailChecker.h"
#include "platform/TimerControl.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

// No step here should take this long; past it the figure is reported missing.
constexpr int kLimitMs = 10000;
// How long the accounts' fresh connections get before idling is measured.
constexpr int kSettleMs = 5000;

QElapsedTimer g_clock;

double nowMs() { return double(g_clock.nsecsElapsed()) / 1e6; }

// What the program waits for, looked at again whenever something it depends
// on happens (the checker reports, the probe reads).
struct Wait {
    QEventLoop* loop = nullptr;
    std::function<bool()> done;
};
Wait g_wait;

void poke()
{
    if (g_wait.loop && g_wait.done())
        g_wait.loop->quit();
}

// Runs events until `done` holds; false when `limitMs` passed first.
bool waitUntil(const std::function<bool()>& done, int limitMs = kLimitMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    g_wait = { &loop, done };
    limit.start(limitMs);
    loop.exec();
    g_wait = {};
    return done();
}

// A bare IDLE client on the plain IMAP port (Dovecot takes a loopback
// sign-in without STARTTLS): the moment it reads an EXISTS is when the
// server told of the delivery.
class ExistsProbe {
public:
    bool Start(quint16 port)
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { read(); });
        m_socket.connectToHost(DovecotFixture::host(), port);
        return waitUntil([this] { return m_idling || m_failed; }) && m_idling;
    }
    void Stop() { m_socket.abort(); }
    void Forget() { m_heardAt = -1; }
    // When the last EXISTS since Forget() was read; -1 before.
    double HeardAt() const { return m_heardAt; }

private:
    void read()
    {
        static const QRegularExpression exists(QStringLiteral(R"(^\* \d+ EXISTS$)"));
        while (m_socket.canReadLine()) {
            const QByteArray line = m_socket.readLine().trimmed();
            if (m_idling) {
                if (m_heardAt < 0 && exists.match(QString::fromLatin1(line)).hasMatch())
                    m_heardAt = nowMs();
            } else if (line.startsWith("* OK") && m_step == 0) {
                send("a LOGIN " + DovecotFixture::user().toLatin1() + ' '
                    + DovecotFixture::password().toLatin1());
            } else if (line.startsWith("a OK")) {
                send("b EXAMINE INBOX");
            } else if (line.startsWith("b OK")) {
                send("c IDLE");
            } else if (line.startsWith("+")) {
                m_idling = true;
            } else if (!line.startsWith("*")) {
                m_failed = true;
                std::printf("the probe got: %s\n", line.constData());
            }
        }
        poke();
    }
    void send(const QByteArray& command)
    {
        ++m_step;
        m_socket.write(command + "\r\n");
    }

    QTcpSocket m_socket;
    int m_step = 0;
    bool m_idling = false;
    bool m_failed = false;
    double m_heardAt = -1;
};

QJsonObject message(const QString& subject)
{
    return { { QStringLiteral("fromName"), QStringLiteral("Hanako") },
        { QStringLiteral("fromAddr"), QStringLiteral("hanako@example.jp") },
        { QStringLiteral("subject"), subject },
        { QStringLiteral("date"), QStringLiteral("Tue, 15 Apr 2003 10:20:30 +0900") } };
}

QString pushLine(qsizetype account)
{
    return Accounts[std::size_t(account)].UserTitle + QStringLiteral(": ﾌﾟｯｼｭ");
}

struct Summary {
    double median = 0;
    double worst = 0;
};

Summary summarise(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return { median, values.back() };
}

struct Window {
    double wallMs = 0;
    double cpuMs = 0;
    int wakeUps = 0; // the event loop's, its own ending included
};

// Runs the event loop for this long with nothing asked of it. What the
// program does meanwhile shows as the CPU it uses and as the times the event
// loop woke; the second is free of what the machine charges for a sleep.
Window idleWindow(int ms)
{
    Window window;
    QEventLoop loop;
    const QMetaObject::Connection woke = QObject::connect(QAbstractEventDispatcher::instance(),
        &QAbstractEventDispatcher::awake, [&window] { ++window.wakeUps; });
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    const double cpuBefore = ProcessCpuMs();
    const double wallBefore = nowMs();
    loop.exec();
    window.cpuMs = ProcessCpuMs() - cpuBefore;
    window.wallMs = nowMs() - wallBefore;
    QObject::disconnect(woke);
    return window;
}

void showWindow(const char* what, const Window& window)
{
    std::printf("%s %.1f s: CPU %.2f ms, %.3f %% of one core; the event loop woke %d times\n", what,
        window.wallMs / 1000, window.cpuMs, 100 * window.cpuMs / window.wallMs, window.wakeUps);
}

// The checker as the main window drives it, announcing only what is new. The
// timed fallback stays off: the checks measured are pushed, or asked for here.
struct Engine {
    FakeMailCheckHost host;
    MailChecker checker { host };
    Engine()
    {
        CommonSettings = CommonSettingsRecord();
        CommonSettings.RecheckMailChecked = false;
        host.Watch(checker);
        checker.tmrMailCheck().setEnabled(false);
    }
};

// One account against a server run by the caller; see the head of this file.
int interop(char** argv, int pushWaitSeconds)
{
    const quint16 port = quint16(std::atoi(argv[0]));
    QFile authority(QString::fromLocal8Bit(argv[1]));
    if (port == 0 || !authority.open(QIODevice::ReadOnly)) {
        std::printf("no port, or cannot read %s\n", argv[1]);
        return 2;
    }
    TlsTestSeam::TrustAuthorities(QSslCertificate::fromData(authority.readAll()));
    if (std::strcmp(argv[4], "tls") == 0)
        TlsTestSeam::SetExtraTlsPort(port);
    const QString deliverCommand = QString::fromLocal8Bit(argv[5]);
    Engine engine;
    FakeMailCheckHost& host = engine.host;
    MailChecker& checker = engine.checker;
    QStringList arrived;
    QObject::connect(&checker, &MailChecker::MailArrived, [&](qint32, const QList<NewMailItem>& mail) {
        for (const NewMailItem& item : mail)
            arrived << item.strSubject.trimmed();
        poke();
    });
    QObject::connect(&checker, &MailChecker::StatusChanged, poke);
    QObject::connect(&checker, &MailChecker::TrayChanged, poke);
    AccountEntry account = TestAccount(port);
    account.UserTitle = QStringLiteral("interop");
    account.PopServer = DovecotFixture::tlsHost();
    account.PopAccount = QString::fromLocal8Bit(argv[2]);
    account.PopPasswd = QString::fromLocal8Bit(argv[3]);
    account.Protocol = MailProtocol::Imap;
    Accounts.push_back(account);
    host.AddRow(0, true, QStringLiteral("5"));

    const auto settled
        = [&] { return !checker.IsRunning() && host.Status(0) != QStringLiteral("ﾒｰﾙﾁｪｯｸ中"); };
    const auto check = [&] {
        const int before = host.ChecksStarted(0);
        checker.MailCheck(0);
        if (!waitUntil([&] { return host.ChecksStarted(0) > before && settled(); }))
            return QStringLiteral("no end within %1 ms").arg(kLimitMs);
        return host.Status(0);
    };
    // Gives the one more check that news told during the last one asks for
    // (after the push floor) time to run, so that what follows starts from an
    // idle account.
    const auto calm = [&] {
        idleWindow(ImapConnection::FloorMs + 1000);
        waitUntil(settled);
    };

    const auto deliver = [&](const QString& subject) {
        const bool done = QProcess::execute(QStringLiteral("/bin/sh"),
                              { QStringLiteral("-c"), deliverCommand, QStringLiteral("sh"), subject })
            == 0;
        if (!done)
            std::printf("the delivery command failed\n");
        return done;
    };
    // What every check since `from` reported: a push may answer a delivery
    // before the check that was asked for.
    const auto statusesSince = [&](qsizetype from) {
        QStringList ends = host.StatusHistory(0).mid(from);
        ends.removeAll(QStringLiteral("ﾒｰﾙﾁｪｯｸ中"));
        return ends.join(QStringLiteral(" + "));
    };

    const QString first = check();
    calm();
    const QString unchanged = check();
    qsizetype mark = host.StatusHistory(0).size();
    if (!deliver(QStringLiteral("interop +1")))
        return 1;
    check();
    calm();
    const QString plusOne = statusesSince(mark);
    const bool pushed = host.trayToolTip.contains(pushLine(0));

    QString push;
    if (!deliver(QStringLiteral("interop push")))
        return 1;
    const double delivered = nowMs();
    const auto came = [&] { return arrived.contains(QStringLiteral("interop push")); };
    if (pushed && waitUntil(came, pushWaitSeconds * 1000))
        push = QStringLiteral("%1 ms").arg(nowMs() - delivered, 0, 'f', 0);
    else
        push = QStringLiteral("timed %1").arg(check());
    calm();

    // A server that numbers afresh in every session shows it only to a new
    // connection, with mail that came while none was open.
    if (pushed) {
        bool closed = false;
        QObject::connect(&checker, &MailChecker::PushClosed, [&] {
            closed = true;
            poke();
        });
        checker.ClosePush();
        waitUntil([&] { return closed; });
    }
    mark = host.StatusHistory(0).size();
    if (!deliver(QStringLiteral("interop new session")))
        return 1;
    check();
    calm();
    const QString newSession = statusesSince(mark);

    // Tab-separated, for the script.
    std::printf("%s\t%s\t%s\t%s\t%s\t%s\n", qPrintable(first), qPrintable(unchanged), qPrintable(plusOne),
        qPrintable(push), qPrintable(newSession), qPrintable(arrived.join(QLatin1Char('|'))));
    checker.AbortAll();
    TlsTestSeam::Reset();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    g_clock.start();
    // Every row shows as it comes, also through a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc > 1 && std::strcmp(argv[1], "--server") == 0) {
        if (argc < 8) {
            std::printf("usage: %s --server <port> <authority.pem> <user> <password> <tls|starttls> "
                        "<deliver-command> [push-wait-seconds]\n",
                argv[0]);
            return 2;
        }
        return interop(argv + 2, argc > 8 ? std::max(1, std::atoi(argv[8])) : 10);
    }
    const int deliveries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;

    // What this machine charges a process that only sleeps, for comparison.
    const Window floor = idleWindow(idleSeconds * 1000);

    DovecotFixture server;
    if (!server.start()) {
        std::printf("no private Dovecot: %s\n",
            qPrintable(server.skipReason().isEmpty() ? server.error() : server.skipReason()));
        return 1;
    }
    if (server.imapPort() == 0) {
        std::printf("dovecot-imapd is not installed (tools/setup.sh installs it)\n");
        return 1;
    }
    // The account is checked over implicit TLS, as on 993.
    TlsTestSeam::SetExtraTlsPort(server.imapTlsPort());
    TlsTestSeam::TrustAuthorities({ server.authority() });
    Engine engine;
    FakeMailCheckHost& host = engine.host;
    MailChecker& checker = engine.checker;
    double arrivedAt = -1;
    QString awaited;
    int signalsHeard = 0;
    QObject::connect(&checker, &MailChecker::MailArrived, [&](qint32, const QList<NewMailItem>& mail) {
        for (const NewMailItem& item : mail)
            if (item.strSubject.trimmed() == awaited && arrivedAt < 0)
                arrivedAt = nowMs();
    });
    const auto heard = [&] {
        ++signalsHeard;
        poke();
    };
    QObject::connect(&checker, &MailChecker::StatusChanged, heard);
    QObject::connect(&checker, &MailChecker::TrayChanged, heard);
    QObject::connect(&checker, &MailChecker::MailArrived, heard);
    QObject::connect(&checker, &MailChecker::CheckCommandsEnabled, heard);

    const auto addAccount = [&](qint32 tag) {
        AccountEntry account = TestAccount(server.imapTlsPort());
        account.UserTitle = QStringLiteral("push-%1").arg(tag + 1);
        account.PopServer = DovecotFixture::tlsHost();
        account.Protocol = MailProtocol::Imap;
        Accounts.push_back(account);
        host.AddRow(tag, true, QStringLiteral("5"));
        checker.MailCheck(tag);
    };
    const auto idles = [&](qsizetype accounts) {
        for (qsizetype a = 0; a < accounts; ++a)
            if (!host.trayToolTip.contains(pushLine(a)))
                return false;
        return !checker.IsRunning();
    };

    // Delivery to arrival row.
    addAccount(0);
    if (!waitUntil([&] { return idles(1); })) {
        std::printf("the account did not reach IDLE: %s / %s\n", qPrintable(host.Status(0)),
            qPrintable(host.trayToolTip));
        return 1;
    }
    ExistsProbe probe;
    if (!probe.Start(server.imapPort())) {
        std::printf("the probe did not reach IDLE\n");
        return 1;
    }
    // Every connection of the program signs in once; the probe's is the one more.
    const auto signIns = [&] { return server.log().count(QStringLiteral("Login: user=<taro>")); };
    const qsizetype signInsBefore = signIns();
    std::printf(
        "Dovecot on loopback, IMAP over implicit TLS; %d deliveries of one message each\n", deliveries);
    std::printf("  #  delivery call  from before  from after  server's share  program's share  checks\n");
    std::vector<double> fromBefore, fromAfter, serverShare, programShare;
    for (int i = 1; i <= deliveries; ++i) {
        if (!waitUntil([&] { return idles(1); })) {
            std::printf("the account stopped idling: %s\n", qPrintable(host.trayToolTip));
            return 1;
        }
        awaited = QStringLiteral("push %1").arg(i);
        arrivedAt = -1;
        probe.Forget();
        const int checksBefore = host.ChecksStarted(0);
        const double before = nowMs();
        if (!server.deliverMessages({ message(awaited) })) {
            std::printf("delivery failed: %s\n", qPrintable(server.error()));
            return 1;
        }
        const double after = nowMs();
        if (!waitUntil([&] { return arrivedAt >= 0 && probe.HeardAt() >= 0; })) {
            std::printf("%3d  not both within %d ms: arrival row %s, probe %s\n", i, kLimitMs,
                arrivedAt >= 0 ? "shown" : "missing",
                probe.HeardAt() >= 0 ? "heard EXISTS" : "heard nothing");
            continue;
        }
        fromBefore.push_back(arrivedAt - before);
        fromAfter.push_back(arrivedAt - after);
        serverShare.push_back(probe.HeardAt() - after);
        programShare.push_back(arrivedAt - probe.HeardAt());
        std::printf("%3d  %10.1f ms  %8.1f ms  %7.1f ms  %11.1f ms  %12.1f ms  %6d\n", i, after - before,
            fromBefore.back(), fromAfter.back(), serverShare.back(), programShare.back(),
            host.ChecksStarted(0) - checksBefore);
    }
    probe.Stop();
    const auto show = [](const char* what, const std::vector<double>& values) {
        const Summary s = summarise(values);
        std::printf("%-52s median %7.1f ms, worst %7.1f ms\n", what, s.median, s.worst);
    };
    std::printf("%zu of %d deliveries reached the arrival row\n", fromBefore.size(), deliveries);
    show("delivery to arrival row, from before the call:", fromBefore);
    show("delivery to arrival row, from after the call:", fromAfter);
    show("server's share (after the call to its EXISTS):", serverShare);
    show("program's share (EXISTS to the arrival row):", programShare);
    std::printf("sign-ins (each a connection) of the account over the deliveries: %lld; since its first "
                "check: %lld\n",
        static_cast<long long>(signIns() - signInsBefore), static_cast<long long>(signIns() - 1));

    // Three accounts idling, nothing delivered.
    addAccount(1);
    addAccount(2);
    if (!waitUntil([&] { return idles(3); })) {
        std::printf("three accounts did not reach IDLE: %s\n", qPrintable(host.trayToolTip));
        return 1;
    }
    // The connections just made still finish their work for a moment (the
    // last check's connection closing among it); the first window shows
    // that, the second what idling alone costs.
    signalsHeard = 0;
    showWindow("three accounts in IDLE, the first", idleWindow(kSettleMs));
    showWindow("then, nothing arriving, for", idleWindow(idleSeconds * 1000));
    std::printf("(target 0.0 %% of one core over 30 s); %d reports from the checker in both\n", signalsHeard);
    showWindow("the floor: this process before any account, for", floor);

    checker.AbortAll();
    server.stop();
    TlsTestSeam::Reset();
    return 0;
}
