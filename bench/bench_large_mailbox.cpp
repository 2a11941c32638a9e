// One check of a large mailbox by the whole program: main window, check and
// arrival window, every message new. Prints its time, its CPU and the peak
// memory of the process; bench/large_mailbox.sh puts it beside the floor.
//
//   QT_QPA_PLATFORM=offscreen bench_large_mailbox <port> [memory-bound-MiB] [checks] [authority.pem]
//
// With an authority the account is an IMAP one over TLS from the first byte,
// to localhost, whose certificate that authority signed (bench/imap_mailbox.sh).
// A bound given replaces the program's own, to see what a check costs
// beyond it. Later checks find the arrival window still showing the rows of
// the one before, as it does unless the user closes it.
// The server listens on 127.0.0.1 (bench_mailbox_server). Prints one line:
// status, messages announced, ms, cpu_ms, resident memory before the check
// and its peak, in kB.
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "app/NumericText.h"
#include "mail/MailChecker.h"
#include "platform/gui/FlatListView.h"
#include "ui/frmArrival.h"
#include "ui/frmTandrel.h"

#include "RecordingSoundService.h"
#include "ScriptedMailbox.h"
#include "TempSettingsFile.h"
#include "TlsTestSeam.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSslCertificate>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

long statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').front().toLong();
    return -1;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <port> [memory-bound-MiB] [checks] [authority.pem]\n", argv[0]);
        return 2;
    }

    TempSettingsFile settings;
    RecordingSoundService sound;
    SetOptionDefaults();
    CommonSettings.RecheckMailChecked = true;
    CommonSettings.PopTimeOut = 30;
    AccountEntry entry;
    entry.UserTitle = QStringLiteral("bench");
    entry.PopAccount = QStringLiteral("taro");
    entry.PopPasswd = QStringLiteral("secret");
    entry.PopServer = QStringLiteral("127.0.0.1");
    entry.PopPort = NumericText::ToInt32(QString::fromLocal8Bit(argv[1]));
    entry.CheckInterval = 60;
    // Ticked only once the window is up, so that its start does not check it.
    entry.Enabled = false;
    if (argc > 4) {
        QFile authority(QString::fromLocal8Bit(argv[4]));
        if (!authority.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", argv[4]);
            return 2;
        }
        TlsTestSeam::TrustAuthorities(QSslCertificate::fromData(authority.readAll()));
        TlsTestSeam::SetExtraTlsPort(quint16(entry.PopPort));
        entry.PopServer = QStringLiteral("localhost");
        entry.Protocol = MailProtocol::Imap;
    }
    Accounts.push_back(entry);

    frmTandrel window;
    if (argc > 2 && std::atoll(argv[2]) > 0)
        window.Checker().SetCheckMemoryBound(qint64(std::atoll(argv[2])) * 1024 * 1024);
    window.Form_Load();
    Accounts[0].Enabled = true;
    window.lvPopList->SetRowChecked(0, true);
    app.processEvents();

    const int checks = argc > 3 ? std::atoi(argv[3]) : 1;
    for (int i = 0; i < checks; ++i) {
        // The peak so far belongs to what came before; from here it is this check's.
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        clear.close();
        const long before = statusKiB("VmRSS:");
        const double cpuBefore = ProcessCpuMs();
        QElapsedTimer clock;
        clock.start();
        window.mnuMailCheck_Click();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        const double cpuMs = ProcessCpuMs() - cpuBefore;
        const long peak = statusKiB("VmHWM:");

        const frmArrival* arrival = window.ArrivalForm();
        const int announced = arrival && arrival->lvArrival ? arrival->lvArrival->RowCount() : 0;
        std::printf("check status=%s messages=%d ms=%.1f cpu_ms=%.1f rss_before_kb=%ld peak_kb=%ld\n",
            qPrintable(window.lvPopList->CellText(0, frmTandrel::ColStatus)), announced, ms, cpuMs, before,
            peak);
        std::fflush(stdout);
    }
    window.EndProgram(frmTandrel::CloseReason::SessionEnd);
    return 0;
}
