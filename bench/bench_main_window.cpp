// Resident memory of the program's window after start-up and after 100 checks
// of an account whose two messages are announced at every check, against a
// private Dovecot server. Prints figures; needs root for the server.
//   QT_QPA_PLATFORM=offscreen bench_main_window [checks]
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/MessageBoxService.h"
#include "ui/frmTandrel.h"

#include "DovecotFixture.h"
#include "RecordingSoundService.h"
#include "TempSettingsFile.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace {

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int checks = argc > 1 ? std::atoi(argv[1]) : 100;

    DovecotFixture server;
    if (!server.start()) {
        std::fprintf(
            stderr, "no server: %s%s\n", qPrintable(server.skipReason()), qPrintable(server.error()));
        return server.skipReason().isEmpty() ? 1 : 0;
    }
    const auto message = [](const QString& subject) {
        return QJsonObject { { "charset", "iso-2022-jp" }, { "fromName", QStringLiteral("山田太郎") },
            { "fromAddr", "yamada@example.jp" }, { "subject", subject },
            { "date", "Tue, 15 Apr 2003 10:20:30 +0900" } };
    };
    if (!server.deliverMessages(
            QJsonArray { message(QStringLiteral("会議の件")), message(QStringLiteral("再送")) }))
        return 1;

    TempSettingsFile settings;
    RecordingSoundService sound;
    SetOptionDefaults();
    CommonSettings.RecheckMailChecked = true;
    AccountEntry entry;
    entry.UserTitle = QStringLiteral("bench");
    entry.PopAccount = DovecotFixture::user();
    entry.PopPasswd = DovecotFixture::password();
    entry.PopServer = DovecotFixture::host();
    entry.PopPort = server.port();
    entry.CheckInterval = 60;
    entry.Enabled = true;
    Accounts.push_back(entry);

    frmTandrel window;
    window.Form_Load();
    const long afterStart = residentKiB();
    for (int i = 0; i < checks; ++i)
        window.mnuMailCheck_Click();
    const long afterChecks = residentKiB();

    std::printf("resident memory after start-up and the first check: %ld kB\n", afterStart);
    std::printf("resident memory after %d more checks:              %ld kB\n", checks, afterChecks);
    window.EndProgram(frmTandrel::CloseReason::SessionEnd);
    return 0;
}
