// Time of MailChecker::MailCheck for one account, every message new, against
// a running POP3 server. bench/check_time.sh sets up the server and puts the
// figure next to the floor client's.
//
//   bench_check_time <host> <port> <user> <password> [runs] [authority.crt]
//
// With an authority file the port is taken as an implicit-TLS port (as 995
// is) and certificates signed by that authority are trusted.
//
// TANDREL_BENCH_SPAM=check judges spam during the check; =delete:<folder>
// also deletes it on the server, keeping copies in that folder.
//
// Prints one line per run: messages announced, milliseconds, milliseconds per message.

#include "FakeMailCheckHost.h"

#include "TlsTestSeam.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "app/NumericText.h"
#include "mail/MailChecker.h"
#include "platform/Cp932.h"
#include "platform/TimerControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSslCertificate>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s <host> <port> <user> <password> [runs] [authority.crt]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 5 ? NumericText::ToInt32(QString::fromLocal8Bit(argv[5])) : 1;
    const char* transport = "plain";
    if (argc > 6) {
        const QList<QSslCertificate> authority = QSslCertificate::fromPath(QString::fromLocal8Bit(argv[6]));
        if (authority.isEmpty()) {
            std::fprintf(stderr, "no certificate in %s\n", argv[6]);
            return 2;
        }
        TlsTestSeam::TrustAuthorities(authority);
        TlsTestSeam::SetExtraTlsPort(
            static_cast<quint16>(NumericText::ToInt32(QString::fromLocal8Bit(argv[2]))));
        transport = "tls";
    }

    SetOptionDefaults();
    CommonSettings.RecheckMailChecked = true;
    AccountEntry account;
    account.PopServer = QString::fromLocal8Bit(argv[1]);
    account.PopPort = NumericText::ToInt32(QString::fromLocal8Bit(argv[2]));
    account.PopAccount = QString::fromLocal8Bit(argv[3]);
    account.PopPasswd = QString::fromLocal8Bit(argv[4]);
    account.Enabled = true;
    Accounts.push_back(account);

    FakeMailCheckHost host;
    host.AddRow(0, true, QStringLiteral("1"));
    MailChecker checker(host);
    host.Watch(checker);
    checker.tmrMailCheck().setEnabled(false);
    const QString spam = qEnvironmentVariable("TANDREL_BENCH_SPAM");
    CommonSettings.SpamCheck = !spam.isEmpty();
    if (spam.startsWith(u"delete:")) {
        CommonSettings.SpamDelete = true;
        checker.SetSpamFolder(spam.sliced(7));
    }

    // The program builds its code page tables when it loads its settings,
    // long before the first check; that is no part of a check's time.
    Cp932::Decode(QByteArrayLiteral("x"));

    for (int run = 0; run < runs; ++run) {
        host.arrival.calls.clear();
        QElapsedTimer clock;
        clock.start();
        checker.MailCheck(0);
        const double ms = clock.nsecsElapsed() / 1e6;
        if (!host.Status(0).startsWith(QStringLiteral("成功"))) {
            std::fprintf(stderr, "the check failed: %s\n", qPrintable(host.Status(0)));
            return 1;
        }
        // RemoveMail, one MailArraival per message, ShowForm.
        const qsizetype announced = qMax<qsizetype>(0, host.arrival.calls.size() - 2);
        std::printf("check %s messages=%lld ms=%.1f ms_per_message=%.4f\n", transport,
            static_cast<long long>(announced), ms, announced ? ms / announced : 0.0);
    }
    return 0;
}
