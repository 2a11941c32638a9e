// What keeping the passwords in the keyring adds to the start: loading a
// settings file of 10 accounts and having every password in hand, once with
// the passwords in the file and once with them only in the desktop keyring.
// Run it through bench/keyring_startup.sh, which gives it a keyring of its own.
#include "TempSettingsFile.h"

#include "accounts/AccountStore.h"
#include "accounts/KeyringPasswords.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "platform/keyring/QtKeychainService.h"
#include "settings/AppSettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kAccounts = 10;
constexpr int kRuns = 15;

void waitFor(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Milliseconds from reading the file to holding every password, median of the runs.
double startUpMs()
{
    std::vector<double> runs;
    for (int r = 0; r < kRuns; ++r) {
        Accounts.clear();
        SetOptionDefaults();
        QElapsedTimer timer;
        timer.start();
        LoadSettings();
        bool read = false;
        KeyringPasswords::ReadAll();
        KeyringPasswords::WhenRead([&read] { read = true; });
        waitFor([&read] { return read; });
        runs.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (Accounts.size() != kAccounts || Accounts.back().PopPasswd.isEmpty())
            std::fprintf(stderr, "a password was not read\n");
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QtKeychainService keyring;
    KeyringService::Install(&keyring);
    TempSettingsFile settings;
    for (int a = 0; a < kAccounts; ++a) {
        AccountEntry& entry = Accounts.emplace_back();
        entry.PopAccount = QStringLiteral("user%1").arg(a);
        entry.PopPasswd = QStringLiteral("secret%1").arg(a);
        entry.PopServer = QStringLiteral("pop.example.net");
        entry.CheckInterval = 5;
        entry.Enabled = true;
    }
    SaveSettings();
    const double inFile = startUpMs();

    CommonSettings.PasswordInKeyring = true;
    AccountStore::Save();
    waitFor([] {
        return std::all_of(Accounts.begin(), Accounts.end(),
            [](const AccountEntry& e) { return e.Secret == SecretState::InKeyring; });
    });
    if (settings.read().contains("secret")) {
        std::fprintf(stderr, "the passwords did not leave the file\n");
        return 1;
    }
    const double inKeyring = startUpMs();
    std::printf("start-up with %d accounts, median of %d runs: passwords in the file %.2f ms, "
                "in the keyring %.2f ms, added %.2f ms\n",
        kAccounts, kRuns, inFile, inKeyring, inKeyring - inFile);
    return 0;
}
