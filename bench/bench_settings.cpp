// Save and load of a large settings file: 50 accounts with 2,000 seen
// identifiers each. Prints the median of several runs of each, as wall-clock
// time (what the user waits, disk flush included) and as processor time (what
// the code costs, whatever else the machine is busy with). Then the same save
// as a check makes it, beside the check of one account on loopback.
#include "FakeMailCheckHost.h"
#include "ScriptedMailbox.h"
#include "TempSettingsFile.h"

#include "accounts/AccountStore.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "platform/TimerControl.h"
#include "settings/AppSettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kAccounts = 50;
constexpr int kIdsPerAccount = 2000;
constexpr int kRuns = 9;

void fillAccounts()
{
    Accounts.clear();
    for (int a = 0; a < kAccounts; ++a) {
        AccountEntry& entry = Accounts.emplace_back();
        entry.UserTitle = QStringLiteral("アカウント%1").arg(a);
        entry.PopAccount = QStringLiteral("user%1").arg(a);
        entry.PopPasswd = QStringLiteral("secret%1").arg(a);
        entry.PopServer = QStringLiteral("pop%1.example.net").arg(a);
        entry.CheckInterval = 5;
        entry.Enabled = true;
        entry.UIDL.reserve(kIdsPerAccount);
        for (int i = 0; i < kIdsPerAccount; ++i)
            entry.UIDL.append(
                QStringLiteral("%1.%2.mailhost%3").arg(1700000000 + i).arg(a * 100000 + i).arg(a));
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Saves as the main window does after a check that changed a seen list, and
// times that save on its own.
struct SavingHost final : public FakeMailCheckHost {
    void Watch(MailChecker& checker)
    {
        QObject::connect(
            &checker, &MailChecker::SeenListChanged, &checker, [this](qint32 tag, const QStringList& seen) {
                QElapsedTimer timer;
                timer.start();
                AccountStore::SeenListChanged(tag, seen);
                saveMs = double(timer.nsecsElapsed()) / 1e6;
            });
        QObject::connect(&checker, &MailChecker::StatusChanged, &checker,
            [this](qint32 tag, const QString& text) { FindRow(tag)->statusHistory.append(text); });
    }
    double saveMs = 0;
};

// A check of account 0 against a mailbox of this many new messages while the
// table holds the large file's accounts: the whole check and the save in it.
void printCheckShare(int messages)
{
    ScriptedPop3Server server;
    if (!server.Listen())
        return;
    fillAccounts();
    Accounts[0].PopServer = QStringLiteral("127.0.0.1");
    Accounts[0].PopPort = server.Port();
    Accounts[0].PopAccount = QStringLiteral("taro");
    Accounts[0].PopPasswd = QStringLiteral("secret");
    CommonSettings.PopTimeOut = 60;
    CommonSettings.RecheckMailChecked = false;
    SavingHost host;
    host.AddRow(0, true, QStringLiteral("5"));
    MailChecker checker(host);
    host.Watch(checker);
    checker.tmrMailCheck().setEnabled(false);

    std::vector<double> checks, saves;
    for (int run = 0; run < kRuns; ++run) {
        server.SetDialogue(ScriptedMailbox(messages));
        Accounts[0].UIDL.clear(); // every message is new, so the list changes
        host.saveMs = 0;
        QElapsedTimer timer;
        timer.start();
        checker.MailCheck(0);
        checks.push_back(double(timer.nsecsElapsed()) / 1e6);
        saves.push_back(host.saveMs);
    }
    const double check = median(checks);
    const double save = median(saves);
    std::printf("check of %d new message(s) on loopback, %s: %.1f ms, of which the save %.1f ms (%.0f %%)\n",
        messages, qPrintable(host.Status(0)), check, save, 100.0 * save / check);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TempSettingsFile settings;
    std::vector<double> saves, saveCpu;
    std::vector<double> loads, loadCpu;
    for (int run = 0; run < kRuns; ++run) {
        fillAccounts();
        QElapsedTimer timer;
        timer.start();
        std::clock_t cpu = std::clock();
        SaveSettings();
        saveCpu.push_back(double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC);
        saves.push_back(timer.nsecsElapsed() / 1e6);

        Accounts.clear();
        SetOptionDefaults();
        timer.start();
        cpu = std::clock();
        LoadSettings();
        loadCpu.push_back(double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC);
        loads.push_back(timer.nsecsElapsed() / 1e6);
        if (Accounts.size() != size_t(kAccounts) || Accounts.back().UIDL.size() != kIdsPerAccount) {
            std::fprintf(stderr, "load did not restore what was saved\n");
            return 1;
        }
    }
    std::printf("settings file: %d accounts x %d seen ids, %.1f MB\n", kAccounts, kIdsPerAccount,
        QFileInfo(settings.path()).size() / 1e6);
    std::printf(
        "save: %.1f ms wall, %.1f ms processor (median of %d)\n", median(saves), median(saveCpu), kRuns);
    std::printf(
        "load: %.1f ms wall, %.1f ms processor (median of %d)\n", median(loads), median(loadCpu), kRuns);
    printCheckShare(1);
    printCheckShare(kIdsPerAccount);
    return 0;
}
