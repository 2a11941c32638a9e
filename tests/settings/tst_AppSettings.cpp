#include "ScriptedKeyringService.h"
#include "ScriptedMessageBoxService.h"
#include "TempSettingsFile.h"
#include "UnwritableFolder.h"

#include "accounts/AccountStore.h"
#include "accounts/KeyringPasswords.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "platform/Cp932.h"
#include "settings/API_IniFileAccess.h"
#include "settings/AppSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

AccountEntry account(const QString& title, const QStringList& uidl = {})
{
    AccountEntry entry;
    entry.UserTitle = title;
    entry.PopAccount = title + QStringLiteral("-user");
    entry.PopPasswd = QStringLiteral("pa=ss");
    entry.PopServer = QStringLiteral("pop.example.net");
    entry.PopPort = 1110;
    entry.CheckInterval = 15;
    entry.Enabled = true;
    entry.UIDL = uidl;
    return entry;
}

template <size_t N> QByteArray withNul(const char (&text)[N]) { return QByteArray(text, N - 1); }

QStringList loadedTitles()
{
    QStringList titles;
    for (const AccountEntry& entry : Accounts)
        titles << entry.UserTitle;
    return titles;
}

// Saves what is in memory, forgets it and loads it back.
void saveAndReload()
{
    SaveSettings();
    Accounts.clear();
    CommonSettings = CommonSettingsRecord();
    SetOptionDefaults();
    LoadSettings();
}

} // namespace

class tst_AppSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void savedFileHasTheExactLayout()
    {
        TempSettingsFile settings;
        CommonSettings.SoundFolder = QStringLiteral("C:\\Tandrel\\Wave");
        CommonSettings.ArrivalSound = QStringLiteral("着信.wav");
        CommonSettings.PopTimeOut = -5;
        Accounts.push_back(
            account(QStringLiteral("仕事"), { QStringLiteral("id-1"), QStringLiteral("id-2") }));
        Accounts.push_back(account(QStringLiteral("home")));
        Accounts.back().Enabled = false;
        Accounts.back().PopPort = 110;
        Accounts.back().CheckInterval = 0;
        SaveSettings();

        const QString expected = QStringLiteral("[Common]\r\n"
                                                "RecheckMailChecked=True\r\n"
                                                "StartMinimizedWindow=False\r\n"
                                                "PopTimeOut=-5\r\n"
                                                "ShowArrivalFormTime=0\r\n"
                                                "FormClosedIsMinimized=True\r\n"
                                                "ArrivalFormPosition=5\r\n"
                                                "ArrivalSound=着信.wav\r\n"
                                                "SoundFolder=C:\\Tandrel\\Wave\r\n"
                                                "[Account0]\r\n"
                                                "CheckInterval=15\r\n"
                                                "PopPort=1110\r\n"
                                                "PopAccount=仕事-user\r\n"
                                                "PopPasswd=pa=ss\r\n"
                                                "PopServer=pop.example.net\r\n"
                                                "UserTitle=仕事\r\n"
                                                "Enabled=True\r\n"
                                                "UIDL0=id-1\r\n"
                                                "UIDL1=id-2\r\n"
                                                "[Account1]\r\n"
                                                "CheckInterval=0\r\n"
                                                "PopPort=110\r\n"
                                                "PopAccount=home-user\r\n"
                                                "PopPasswd=pa=ss\r\n"
                                                "PopServer=pop.example.net\r\n"
                                                "UserTitle=home\r\n"
                                                "Enabled=False\r\n");
        QCOMPARE(settings.read(), Cp932::Encode(expected));
    }

    void roundTripRestoresEverything()
    {
        TempSettingsFile settings;
        CommonSettings.ShowArrivalFormTime = 12;
        CommonSettings.PopTimeOut = 45;
        CommonSettings.StartMinimizedWindow = true;
        CommonSettings.RecheckMailChecked = false;
        CommonSettings.FormClosedIsMinimized = false;
        // Off is the one value of it that is written.
        CommonSettings.QuietWhenBusy = false;
        CommonSettings.ArrivalFormPosition = 2;
        CommonSettings.ArrivalSound = QStringLiteral("ding.wav");
        CommonSettings.SoundFolder = QStringLiteral("/usr/share/sounds");
        QStringList ids;
        for (int i = 0; i < 300; ++i)
            ids << QStringLiteral("%1=uid;%2").arg(300 - i).arg(i);
        Accounts.push_back(account(QStringLiteral("a=b"), ids));
        Accounts.push_back(account(QStringLiteral("ｶﾀｶﾅ ＆ 全角")));
        Accounts.back().PopPort = 2147483647;
        Accounts.back().CheckInterval = -2147483647 - 1;
        // Signed in with a token, so it has no password.
        Accounts.back().Secret = SecretState::OAuth2;
        Accounts.back().PopPasswd.clear();
        Accounts.back().OAuthProvider = QStringLiteral("Google");
        CommonSettings.OAuthKeys.append(
            { QStringLiteral("OAuthCustomTokenUrl"), QStringLiteral("http://[::1]:8/t?a=b") });
        // Quotes at both ends, which reading alone would take off.
        Accounts.front().OpenMailWith = QStringLiteral("\"/opt/My Mail/mail\" \"-inbox\"");
        Accounts.front().Protocol = MailProtocol::Imap;
        CommonSettings.OpenMailWith = QStringLiteral("https://mail.example.jp/");
        CommonSettings.SpamCheck = CommonSettings.SpamDelete = true;
        // Emptied by the user: no tags, rather than the program's own.
        CommonSettings.SpamTags = QStringList();
        CommonSettings.SpamSenders
            = QStringList { QStringLiteral("ads.example"), QStringLiteral("\"<a@b.jp>\"") };
        const AccountTable saved = Accounts;
        const CommonSettingsRecord options = CommonSettings;

        saveAndReload();

        // Each after the keys its section always had, the account's ahead of its seen identifiers.
        QVERIFY(settings.read().contains("SoundFolder=/usr/share/sounds\r\nOpenMailWith=https://"
                                         "mail.example.jp/\r\nQuietWhenBusy=False\r\nSpamCheck=True\r\n"
                                         "SpamDelete=True\r\nOAuthCustomTokenUrl="));
        QVERIFY(settings.read().contains(
            "Enabled=True\r\nOpenMailWith=\"\"/opt/My Mail/mail\" \"-inbox\"\"\r\nProtocol=IMAP\r\nUIDL0="));
        QCOMPARE(CommonSettings.OpenMailWith, options.OpenMailWith);
        QCOMPARE(CommonSettings.ShowArrivalFormTime, options.ShowArrivalFormTime);
        QCOMPARE(CommonSettings.PopTimeOut, options.PopTimeOut);
        QCOMPARE(CommonSettings.StartMinimizedWindow, options.StartMinimizedWindow);
        QCOMPARE(CommonSettings.RecheckMailChecked, options.RecheckMailChecked);
        QCOMPARE(CommonSettings.FormClosedIsMinimized, options.FormClosedIsMinimized);
        QCOMPARE(CommonSettings.QuietWhenBusy, options.QuietWhenBusy);
        QCOMPARE(CommonSettings.ArrivalFormPosition, options.ArrivalFormPosition);
        QCOMPARE(CommonSettings.ArrivalSound, options.ArrivalSound);
        QCOMPARE(CommonSettings.SoundFolder, options.SoundFolder);
        QCOMPARE(CommonSettings.OAuthKeys, options.OAuthKeys);
        QCOMPARE(CommonSettings.SpamCheck, true);
        QCOMPARE(CommonSettings.SpamDelete, true);
        QCOMPARE(CommonSettings.SpamTags, options.SpamTags);
        QCOMPARE(CommonSettings.SpamSenders, options.SpamSenders);
        QCOMPARE(Accounts.size(), saved.size());
        for (size_t i = 0; i < saved.size(); ++i) {
            QCOMPARE(Accounts[i].UserTitle, saved[i].UserTitle);
            QCOMPARE(Accounts[i].PopAccount, saved[i].PopAccount);
            QCOMPARE(Accounts[i].PopPasswd, saved[i].PopPasswd);
            QCOMPARE(Accounts[i].PopServer, saved[i].PopServer);
            QCOMPARE(Accounts[i].PopPort, saved[i].PopPort);
            QCOMPARE(Accounts[i].CheckInterval, saved[i].CheckInterval);
            QCOMPARE(Accounts[i].Enabled, saved[i].Enabled);
            QCOMPARE(Accounts[i].UIDL, saved[i].UIDL);
            QCOMPARE(Accounts[i].Secret, saved[i].Secret);
            QCOMPARE(Accounts[i].OAuthProvider, saved[i].OAuthProvider);
            QCOMPARE(Accounts[i].OpenMailWith, saved[i].OpenMailWith);
            QCOMPARE(Accounts[i].Protocol, saved[i].Protocol);
            QCOMPARE(Accounts[i].Deleted, false);
        }
    }

    void typedTextComesBackAsTyped_data()
    {
        QTest::addColumn<QString>("pattern"); // %1: each printable ASCII character, then Japanese texts

        QTest::newRow("at the start") << "%1ab";
        QTest::newRow("in the middle") << "a%1b";
        QTest::newRow("at the end") << "ab%1";
        QTest::newRow("at both ends, as a quoted password") << "%1ab%1";
        QTest::newRow("alone") << "%1";
    }

    void typedTextComesBackAsTyped()
    {
        QFETCH(QString, pattern);
        QStringList inserts;
        for (char16_t c = 0x20; c < 0x7F; ++c)
            inserts << QString(QChar(c));
        inserts << QStringLiteral("日本語") << QStringLiteral("ソ表") << QStringLiteral("ｶﾀｶﾅ")
                << QStringLiteral("　");
        QStringList typed;
        for (const QString& insert : inserts)
            typed << pattern.arg(insert);
        TempSettingsFile settings;
        // Every text in an account of its own; the two options take two texts per save.
        for (qsizetype i = 0; i < typed.size(); i += 2) {
            CommonSettings.ArrivalSound = typed[i];
            CommonSettings.SoundFolder = typed[(i + 1) % typed.size()];
            QStringList expected { CommonSettings.ArrivalSound, CommonSettings.SoundFolder };
            for (const QString& text : typed) {
                AccountEntry& entry = Accounts.emplace_back();
                entry.UserTitle = entry.PopAccount = entry.PopPasswd = entry.PopServer = text;
                entry.UIDL = QStringList { text };
                expected << QStringList(5, text);
            }
            saveAndReload();
            QStringList back { CommonSettings.ArrivalSound, CommonSettings.SoundFolder };
            for (const AccountEntry& entry : Accounts)
                back << QStringList { entry.UserTitle, entry.PopAccount, entry.PopPasswd, entry.PopServer }
                        + entry.UIDL;
            QCOMPARE(back, expected);
            Accounts.clear();
        }
    }

    void deletedAccountsLeaveNoGap()
    {
        TempSettingsFile settings;
        Accounts.push_back(account(QStringLiteral("first")));
        Accounts.push_back(account(QStringLiteral("second")));
        Accounts.push_back(account(QStringLiteral("third")));
        Accounts[1].Deleted = true;
        SaveSettings();
        const QByteArray file = settings.read();
        QVERIFY(file.contains("[Account0]\r\n"));
        QVERIFY(file.contains("[Account1]\r\n"));
        QVERIFY(!file.contains("[Account2]"));
        QVERIFY(!file.contains("second"));

        saveAndReload();
        QCOMPARE(Accounts.size(), size_t(2));
        QCOMPARE(Accounts[0].UserTitle, QStringLiteral("first"));
        QCOMPARE(Accounts[1].UserTitle, QStringLiteral("third"));
    }

    void passwordsInTheKeyring_data()
    {
        QTest::addColumn<QByteArray>("accounts"); // sections of the file at start
        QTest::addColumn<QStringList>("keyring"); // entries holding "secret" at start
        QTest::addColumn<bool>("refusing");
        QTest::addColumn<bool>("optionOn");
        // What the user does to the first account before the save: "delete",
        // "oauth2" (it signs in with Google from now on), or a new address.
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("firstSaved"); // in the first section after the save
        QTest::addColumn<int>("entries"); // in the keyring at the end
        const QByteArray plain
            = "[Account0]\r\nPopAccount=taro\r\nPopPasswd=secret\r\nPopServer=pop.example.jp\r\n";
        const QByteArray kept
            = "[Account0]\r\nPopAccount=taro\r\nKeyringEntry=pop3-a\r\nPopServer=pop.example.jp\r\n";
        const auto twice = [](const QByteArray& section, const QByteArray& entry) {
            return section + QByteArray(section).replace("Account0", "Account1").replace("pop3-a", entry);
        };
        const QByteArray google = "[Account0]\r\nPopAccount=taro@example.jp\r\nPopServer=pop.gmail.com\r\n"
                                  "AuthMethod=OAuth2\r\nOAuthProvider=Google\r\n";
        const QStringList token { "oauth2:Google:taro@example.jp" };
        QTest::newRow("file password leaves the file once the keyring holds it")
            << plain << QStringList {} << false << true << QString()
            << QByteArray("PopPasswd=\r\nKeyringEntry=pop3-") << 1;
        QTest::newRow("same user on the same server: an entry each")
            << twice(plain, {}) << QStringList {} << false << true << QString()
            << QByteArray("KeyringEntry=pop3-") << 2;
        QTest::newRow("no keyring: both passwords stay in the file, told once")
            << twice(plain, {}) << QStringList {} << true << true << QString()
            << QByteArray("PopPasswd=secret\r\nPopServer") << 0;
        QTest::newRow("option turned off brings the password back")
            << kept << QStringList { "pop3-a" } << false << false << QString()
            << QByteArray("PopPasswd=secret\r\nPopServer") << 0;
        QTest::newRow("deleted account takes its entry; the renumbered one keeps its own")
            << twice(kept, "pop3-b") << QStringList { "pop3-a", "pop3-b" } << false << true
            << QStringLiteral("delete") << QByteArray("PopPasswd=\r\nKeyringEntry=pop3-b\r\n") << 1;
        QTest::newRow("switched to OAuth2: the password leaves memory, the file and the keyring")
            << kept << QStringList { "pop3-a" } << false << true << QStringLiteral("oauth2")
            << QByteArray("PopPasswd=\r\nPopServer") << 0;
        QTest::newRow("OAuth2 address changed: the old refresh token leaves the keyring")
            << google << token << false << false << QStringLiteral("jiro@example.jp")
            << QByteArray("PopAccount=jiro@example.jp") << 0;
        QTest::newRow("OAuth2 address changed in letter case only: the refresh token follows it")
            << google << token << false << false << QStringLiteral("Taro@example.jp")
            << QByteArray("PopAccount=Taro@example.jp") << 1;
    }

    void passwordsInTheKeyring()
    {
        QFETCH(QByteArray, accounts);
        QFETCH(QStringList, keyring);
        QFETCH(bool, refusing);
        QFETCH(bool, optionOn);
        QFETCH(QString, change);
        QFETCH(QByteArray, firstSaved);
        QFETCH(int, entries);
        TempSettingsFile settings;
        ScriptedMessageBoxService shown;
        ScriptedKeyringService service;
        for (const QString& name : keyring)
            service.entries.insert(name, QStringLiteral("secret"));
        if (refusing)
            KeyringService::Install(nullptr); // no keyring at all
        settings.write(
            "[Common]\r\nPasswordInKeyring=" + QByteArray(optionOn ? "True" : "False") + "\r\n" + accounts);

        LoadSettings();
        bool read = false; // as at start: the passwords come first
        KeyringPasswords::ReadAll();
        KeyringPasswords::WhenRead([&read] { read = true; });
        QTRY_VERIFY(read);
        AccountFields fields { Accounts[0].UserTitle, Accounts[0].PopAccount, Accounts[0].PopPasswd,
            Accounts[0].PopServer, Accounts[0].PopPort, Accounts[0].CheckInterval,
            Accounts[0].OAuthProvider };
        if (change == u"oauth2")
            fields.OAuthProvider = QStringLiteral("Google");
        else
            fields.PopAccount = change;
        if (change == u"delete")
            AccountStore::Delete(0);
        else if (!change.isEmpty())
            AccountStore::Update(0, fields);
        else
            AccountStore::Save();
        QTRY_COMPARE(service.pending, 0);
        QTRY_COMPARE(shown.shown().size(), refusing ? 1 : 0); // told once, however often it refused

        const QByteArray file = settings.read();
        const qsizetype first = file.indexOf("[Account0]");
        QVERIFY2(
            file.mid(first, file.indexOf('[', first + 1) - first).contains(firstSaved), file.constData());
        QCOMPARE(service.entries.size(), entries);
        QCOMPARE(service.entries.keys(QStringLiteral("secret")).size(), entries);
        // Nothing is left in the keyring that no account names: an orphan is
        // a live credential that nothing will ever use or remove.
        for (const QString& name : service.entries.keys())
            QVERIFY2(file.contains("KeyringEntry=" + name.toUtf8() + "\r\n")
                    || std::any_of(Accounts.cbegin(), Accounts.cend(),
                        [&name](const AccountEntry& a) {
                            return !a.Deleted && a.IsOAuth2()
                                && name == QStringLiteral("oauth2:") + a.OAuthProvider + u':' + a.PopAccount;
                        }),
                qPrintable(name));
    }

    void noFileLeavesDefaultsAndNoAccounts()
    {
        TempSettingsFile settings;
        LoadSettings();
        QCOMPARE(Accounts.size(), size_t(0));
        QCOMPARE(CommonSettings.ShowArrivalFormTime, 0);
        QCOMPARE(CommonSettings.PopTimeOut, 10);
        QCOMPARE(CommonSettings.StartMinimizedWindow, false);
        QCOMPARE(CommonSettings.RecheckMailChecked, true);
        QCOMPARE(CommonSettings.FormClosedIsMinimized, true);
        QCOMPARE(CommonSettings.QuietWhenBusy, true);
        QCOMPARE(CommonSettings.ArrivalFormPosition, 5);
        QCOMPARE(CommonSettings.ArrivalSound, QString());
        QCOMPARE(CommonSettings.SoundFolder,
            QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/Wave")));
        QVERIFY(!settings.exists());
    }

    void commonValues_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("popTimeOut");
        QTest::addColumn<bool>("startMinimized");

        QTest::newRow("missing key keeps the default") << QByteArray("Other=1") << 10 << false;
        QTest::newRow("empty value keeps the default") << QByteArray("PopTimeOut=") << 10 << false;
        QTest::newRow("key in lower case honoured") << QByteArray("poptimeout=33") << 33 << false;
        QTest::newRow("twelve and a half reads as 12") << QByteArray("PopTimeOut=12.5") << 12 << false;
        QTest::newRow("thirteen and a half reads as 14") << QByteArray("PopTimeOut=13.5") << 14 << false;
        QTest::newRow("trailing words after the number")
            << QByteArray("PopTimeOut=20 seconds") << 20 << false;
        QTest::newRow("value without a number reads as 0") << QByteArray("PopTimeOut=soon") << 0 << false;
        QTest::newRow("number past 32 bits keeps the default")
            << QByteArray("PopTimeOut=4294967306") << 10 << false;
        QTest::newRow("number below 32 bits keeps the default")
            << QByteArray("PopTimeOut=-2147483649") << 10 << false;
        QTest::newRow("quoted number") << QByteArray("PopTimeOut=\"25\"") << 25 << false;
        QTest::newRow("boolean True") << QByteArray("StartMinimizedWindow=True") << 10 << true;
        QTest::newRow("boolean in upper case") << QByteArray("StartMinimizedWindow=TRUE") << 10 << true;
        QTest::newRow("boolean as a nonzero number") << QByteArray("StartMinimizedWindow=-1") << 10 << true;
        QTest::newRow("boolean as zero") << QByteArray("StartMinimizedWindow=0") << 10 << false;
        QTest::newRow("boolean that is neither keeps the default")
            << QByteArray("StartMinimizedWindow=yes") << 10 << false;
        QTest::newRow("boolean number with words keeps the default")
            << QByteArray("StartMinimizedWindow=1 please") << 10 << false;
    }

    void commonValues()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, popTimeOut);
        QFETCH(bool, startMinimized);
        TempSettingsFile settings;
        settings.write("[Common]\r\n" + line + "\r\n");
        LoadSettings();
        QCOMPARE(CommonSettings.PopTimeOut, popTimeOut);
        QCOMPARE(CommonSettings.StartMinimizedWindow, startMinimized);
    }

    void accountValues_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("uidl");

        QTest::newRow("only unknown keys still an account with port 110")
            << QByteArray("Color=red") << 110 << 0 << false << "" << QStringList {};
        QTest::newRow("key in lower case ignored")
            << QByteArray("popport=995\r\nusertitle=x") << 110 << 0 << false << "" << QStringList {};
        QTest::newRow("key twice: the later value wins")
            << QByteArray("PopPort=1\r\nPopPort=2") << 2 << 0 << false << "" << QStringList {};
        QTest::newRow("Enabled as a number")
            << QByteArray("Enabled=7") << 110 << 0 << true << "" << QStringList {};
        QTest::newRow("Enabled as zero")
            << QByteArray("Enabled=True\r\nEnabled=0") << 110 << 0 << false << "" << QStringList {};
        QTest::newRow("Enabled in lower case text")
            << QByteArray("Enabled=true") << 110 << 0 << true << "" << QStringList {};
        QTest::newRow("port past 32 bits keeps 110")
            << QByteArray("PopPort=99999999999") << 110 << 0 << false << "" << QStringList {};
        QTest::newRow("interval with a half")
            << QByteArray("CheckInterval=2.5") << 110 << 2 << false << "" << QStringList {};
        QTest::newRow("title in quotes loses them")
            << QByteArray("UserTitle=\"boss\"") << 110 << 0 << false << "boss" << QStringList {};
        QTest::newRow("title with one leading quote keeps it")
            << QByteArray("UserTitle=\"boss") << 110 << 0 << false << "\"boss" << QStringList {};
        QTest::newRow("title keeps its blanks")
            << QByteArray("UserTitle= a b ") << 110 << 0 << false << " a b " << QStringList {};
        QTest::newRow("blank before equals makes another key")
            << QByteArray("UserTitle =x") << 110 << 0 << false << "" << QStringList {};
        QTest::newRow("seen ids in file order whatever their numbers")
            << QByteArray("UIDL5=e\r\nUIDL0=a\r\nUIDLx=b\r\nUIDL=c") << 110 << 0 << false << ""
            << QStringList { "e", "a", "b", "c" };
        QTest::newRow("seen id with equals signs")
            << QByteArray("UIDL0=a=b=") << 110 << 0 << false << "" << QStringList { "a=b=" };
        QTest::newRow("seen id key in lower case ignored")
            << QByteArray("uidl0=a") << 110 << 0 << false << "" << QStringList {};
    }

    void accountValues()
    {
        QFETCH(QByteArray, section);
        QFETCH(int, port);
        QFETCH(int, interval);
        QFETCH(bool, enabled);
        QFETCH(QString, title);
        QFETCH(QStringList, uidl);
        TempSettingsFile settings;
        settings.write("[Account0]\r\n" + section + "\r\n");
        LoadSettings();
        QCOMPARE(Accounts.size(), size_t(1));
        QCOMPARE(Accounts[0].PopPort, port);
        QCOMPARE(Accounts[0].CheckInterval, interval);
        QCOMPARE(Accounts[0].Enabled, enabled);
        QCOMPARE(Accounts[0].UserTitle, title);
        QCOMPARE(Accounts[0].UIDL, uidl);
        QCOMPARE(Accounts[0].Deleted, false);
    }

    void accountList_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("titles");

        QTest::newRow("gap stops the list")
            << QByteArray("[Account0]\r\nUserTitle=a\r\n[Account2]\r\nUserTitle=c\r\n")
            << QStringList { "a" };
        QTest::newRow("header without entries ends the list")
            << QByteArray("[Account0]\r\nUserTitle=a\r\n[Account1]\r\n[Account2]\r\nUserTitle=c\r\n")
            << QStringList { "a" };
        QTest::newRow("section with only comments ends the list")
            << QByteArray("[Account0]\r\n;UserTitle=a\r\n[Account1]\r\nUserTitle=b\r\n") << QStringList {};
        QTest::newRow("sections in any file order")
            << QByteArray("[Account1]\r\nUserTitle=b\r\n[Account0]\r\nUserTitle=a\r\n")
            << QStringList { "a", "b" };
        QTest::newRow("section names in any letter case")
            << QByteArray("[account0]\r\nUserTitle=a\r\n[ACCOUNT1]\r\nUserTitle=b\r\n")
            << QStringList { "a", "b" };
        QTest::newRow("no account sections") << QByteArray("[Common]\r\nPopTimeOut=3\r\n") << QStringList {};
    }

    void accountList()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, titles);
        TempSettingsFile settings;
        settings.write(file);
        LoadSettings();
        QCOMPARE(loadedTitles(), titles);
    }

    void saveDropsWhatItDoesNotWrite()
    {
        TempSettingsFile settings;
        settings.write(
            "; hand-written note\r\n[Account0]\r\nUserTitle=old\r\n[Account1]\r\nUserTitle=gone\r\n"
            "[Extra]\r\nKey=1\r\n");
        LoadSettings();
        Accounts[1].Deleted = true;
        SaveSettings();
        const QByteArray file = settings.read();
        QVERIFY(file.startsWith("[Common]\r\n"));
        QVERIFY(!file.contains("note"));
        QVERIFY(!file.contains("[Account1]"));
        QVERIFY(!file.contains("[Extra]"));
    }

    // The seen list arrives from the server; it must never be able to rewrite
    // the account it belongs to.
    void injectedLineBreaksCannotRedirectTheAccount()
    {
        TempSettingsFile settings;
        Accounts.push_back(account(QStringLiteral("mine"),
            { QStringLiteral("abc\r\nPopServer=evil.example"),
                QStringLiteral("x\n[Account1]\nUserTitle=fake"),
                QString::fromUtf16(u"nul\0PopPort=1", 13) }));
        Accounts.back().UserTitle = QStringLiteral("title\rEnabled=False");
        saveAndReload();
        QCOMPARE(Accounts.size(), size_t(1));
        QCOMPARE(Accounts[0].PopServer, QStringLiteral("pop.example.net"));
        QCOMPARE(Accounts[0].PopPort, 1110);
        QCOMPARE(Accounts[0].Enabled, true);
        QCOMPARE(Accounts[0].UserTitle, QStringLiteral("titleEnabled=False"));
        QCOMPARE(Accounts[0].UIDL,
            QStringList({ "abcPopServer=evil.example", "x[Account1]UserTitle=fake", "nulPopPort=1" }));
    }

    void longSectionsLoadCompletely()
    {
        TempSettingsFile settings;
        QStringList ids;
        for (int i = 0; i < 5000; ++i)
            ids << QStringLiteral("%1.%2@long-unique-identifier.example").arg(i).arg(i * 7);
        Accounts.push_back(account(QString(30000, u'長'), ids));
        Accounts.back().PopPasswd = QString(20000, u'p');
        saveAndReload();
        QCOMPARE(Accounts.size(), size_t(1));
        QCOMPARE(Accounts[0].UserTitle, QString(30000, u'長'));
        QCOMPARE(Accounts[0].PopPasswd, QString(20000, u'p'));
        QCOMPARE(Accounts[0].UIDL, ids);
    }

    void readOnlyFileWarnsOnceAndKeepsItsContent()
    {
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        const QByteArray old = "[Account0]\r\nUserTitle=old\r\n";
        settings.write(old);
        settings.setReadOnly(true);
        Accounts.push_back(account(QStringLiteral("new")));

        SaveSettings();
        QCOMPARE(boxes.shown().size(), 1);
        const auto& box = boxes.shown().first();
        QCOMPARE(box.text,
            QStringLiteral("設定ﾌｧｲﾙが書きこみ禁止になっています。\r\n"
                           "設定状態を保存する場合はﾌｧｲﾙを書きこみ可にしてOKを押してください。\r\n"
                           "保存しない場合はそのままOKを押してください。\r\n"));
        QCOMPARE(box.icon, MessageBoxService::Icon::Exclamation);
        QCOMPARE(box.buttons, MessageBoxService::Buttons::Ok);
        QCOMPARE(box.title, QStringLiteral("タンドレル"));
        QCOMPARE(settings.read(), old);

        SaveSettings();
        SaveSettings();
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(settings.read(), old);
        QVERIFY(!QFileInfo(settings.path()).permissions().testFlag(QFileDevice::WriteOwner));
    }

    void fileMadeWritableBeforeOkIsSaved()
    {
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        settings.write("[Account0]\r\nUserTitle=old\r\n[Account1]\r\nUserTitle=stale\r\n");
        settings.setReadOnly(true);
        boxes.SetWhileOpen([&](const ScriptedMessageBoxService::Shown&) { settings.setReadOnly(false); });
        Accounts.push_back(account(QStringLiteral("new")));

        SaveSettings();
        QCOMPARE(boxes.shown().size(), 1);
        const QByteArray file = settings.read();
        QVERIFY(file.startsWith("[Common]\r\n"));
        QVERIFY(file.contains("UserTitle=new\r\n"));
        QVERIFY(!file.contains("stale"));
    }

    void firstSaveCreatesAnOwnerOnlyFileWithoutWarning()
    {
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        Accounts.push_back(account(QStringLiteral("secret")));
        SaveSettings();
        QVERIFY(settings.exists());
        QCOMPARE(boxes.shown().size(), 0);
        QCOMPARE(QFileInfo(settings.path()).permissions() & 0x7777,
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                | QFileDevice::WriteUser);
    }

    void saveMakesAnOpenFileOwnerOnly()
    {
        TempSettingsFile settings;
        settings.write("[Common]\r\n");
        QFile::setPermissions(settings.path(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                | QFileDevice::ReadOther);
        SaveSettings();
        const auto permissions = QFileInfo(settings.path()).permissions();
        QVERIFY(!permissions.testFlag(QFileDevice::ReadGroup));
        QVERIFY(!permissions.testFlag(QFileDevice::ReadOther));
        QVERIFY(permissions.testFlag(QFileDevice::WriteOwner));
    }

    void saveThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("arrangement");
        QTest::addColumn<QString>("reason"); // empty: saved without a word

        QTest::newRow("file replaced by a folder") << "folder"
                                                   << "同じ名前のﾌｫﾙﾀﾞがあります。";
        QTest::newRow("program folder gone") << "no folder"
                                             << "保存先のﾌｫﾙﾀﾞがありません。";
        QTest::newRow("disk that takes no more bytes")
            << "size limit" << QString::fromLocal8Bit(std::strerror(EFBIG));
        QTest::newRow("install folder not writable, no file yet") << "unwritable"
                                                                  << "書きこむ権限がありません。";
        QTest::newRow("install folder not writable, file writable: written in place")
            << "unwritable with file"
            << "";
    }

    void saveThatCannotBeWritten()
    {
        QFETCH(QString, arrangement);
        QFETCH(QString, reason);
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        const QByteArray old = "[Account0]\r\nUserTitle=old\r\n";
        QString path = settings.path();
        if (arrangement == u"folder") {
            QVERIFY(QDir().mkdir(path));
        } else if (arrangement == u"no folder") {
            path = settings.folder() + QStringLiteral("/gone/tandrel.ini");
            API_IniFileAccess::SetIniFilePathForTests(path);
        } else if (arrangement != u"unwritable") {
            settings.write(old);
        }
        Accounts.push_back(account(QStringLiteral("new")));

        rlimit limit {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit normal = limit;
        if (arrangement == u"size limit") {
            std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of ending the test
            limit.rlim_cur = rlim_t(old.size());
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        }
        {
            std::optional<UnwritableFolder> unwritable;
            if (arrangement.startsWith(u"unwritable")) {
                unwritable.emplace(settings.folder());
                if (!unwritable->holds())
                    QSKIP("this system lets every write through");
            }
            SaveSettings();
            SaveSettings(); // told once per run
        }
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &normal), 0);

        if (reason.isEmpty()) {
            QCOMPARE(boxes.shown().size(), 0);
            Accounts.clear();
            LoadSettings();
            QCOMPARE(loadedTitles(), QStringList { "new" });
            return;
        }
        QCOMPARE(boxes.shown().size(), 1);
        const auto& box = boxes.shown().first();
        QCOMPARE(box.text,
            QStringLiteral("設定ﾌｧｲﾙを保存できませんでした。\r\n保存先: ") + path
                + QStringLiteral("\r\n理由: ") + reason + QStringLiteral("\r\n"));
        QCOMPARE(box.icon, MessageBoxService::Icon::Exclamation);
        QCOMPARE(box.buttons, MessageBoxService::Buttons::Ok);
        QCOMPARE(box.title, QStringLiteral("タンドレル"));
        if (arrangement == u"size limit") {
            QCOMPARE(settings.read(), old);
            QCOMPARE(
                QDir(settings.folder()).entryList(QDir::Files | QDir::Hidden), QStringList { "tandrel.ini" });
        }
    }

    void saveLeavesNoTemporaryFileBehind()
    {
        TempSettingsFile settings;
        Accounts.push_back(account(QStringLiteral("a")));
        SaveSettings();
        SaveSettings();
        QCOMPARE(
            QDir(settings.folder()).entryList(QDir::Files | QDir::Hidden), QStringList { "tandrel.ini" });
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("arrangement");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("popTimeOut");
        const QString plain = QStringLiteral("file");

        QByteArray garbage;
        quint32 state = 12345;
        for (int i = 0; i < 200000; ++i) {
            state = state * 1103515245u + 12345u;
            garbage.append(char(state >> 24));
        }
        QTest::newRow("binary garbage") << plain << garbage << QStringList {} << 10;
        QTest::newRow("binary garbage around valid sections")
            << plain << garbage + "\r\n[Common]\r\nPopTimeOut=7\r\n[Account0]\r\nUserTitle=kept\r\n" + garbage
            << QStringList { "kept" } << 7;
        QTest::newRow("lone lead byte at the end") << plain << QByteArray("[Account0]\r\nUserTitle=x\x81")
                                                   << QStringList { QStringLiteral("x・") } << 10;
        QTest::newRow("lead byte before a line end")
            << plain << QByteArray("[Account0]\r\nUserTitle=x\x81\r\nPopPort=99\r\n")
            << QStringList { QStringLiteral("x・") } << 10;
        QTest::newRow("bytes that are no code page 932 character")
            << plain << QByteArray("[Account0]\r\nUserTitle=\x80\xA0\xFD\x85\x40\r\n")
            << QStringList { QStringLiteral("・・・・") } << 10;
        QTest::newRow("NUL bytes inside entries")
            << plain
            << withNul("[Common]\r\nPopTimeOut=4\0"
                       "5\r\n[Account0]\r\nUserTitle=a\0UserTitle=b\r\n")
            << QStringList { "b" } << 4;
        QTest::newRow("no sections at all")
            << plain << QByteArray("PopTimeOut=3\r\nUserTitle=x\r\n") << QStringList {} << 10;
        QTest::newRow("duplicate sections and keys")
            << plain
            << QByteArray(
                   "[Common]\r\nPopTimeOut=1\r\nPopTimeOut=2\r\n[Common]\r\nPopTimeOut=3\r\n"
                   "[Account0]\r\nUserTitle=first\r\nUserTitle=second\r\n[Account0]\r\nUserTitle=third\r\n")
            << QStringList { "second" } << 1;
        QTest::newRow("entries without equals")
            << plain << QByteArray("[Common]\r\nPopTimeOut\r\n[Account0]\r\njust words\r\nUserTitle=t\r\n")
            << QStringList { "t" } << 10;
        QTest::newRow("key of only quotes")
            << plain << QByteArray("[Account0]\r\n\"\"=x\r\n\"=y\r\n\"UserTitle\"=quoted\r\n")
            << QStringList { "quoted" } << 10;
        QTest::newRow("empty file") << plain << QByteArray() << QStringList {} << 10;
        QTest::newRow("only line ends") << plain << QByteArray("\r\n\n\r\r\n") << QStringList {} << 10;
        QTest::newRow("unclosed section header")
            << plain << QByteArray("[Account0\r\nUserTitle=x\r\n") << QStringList {} << 10;
        QByteArray huge = "[Common]\r\nPopTimeOut=9\r\n[Junk]\r\n";
        for (int i = 0; i < 50 * 1024; ++i)
            huge.append(QByteArray(1022, 'j')).append("\r\n");
        huge.append("[Account0]\r\nUserTitle=after the junk\r\n");
        QTest::newRow("50 MB file") << plain << huge << QStringList { "after the junk" } << 9;
        QTest::newRow("folder where the file should be") << "folder" << QByteArray() << QStringList {} << 10;
        QTest::newRow("file that disappears between load and save")
            << "removed after loading" << QByteArray("[Account0]\r\nUserTitle=x\r\n") << QStringList { "x" }
            << 10;
    }

    void badInput()
    {
        QFETCH(QString, arrangement);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, titles);
        QFETCH(int, popTimeOut);
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        if (arrangement == u"folder")
            QVERIFY(QDir().mkdir(settings.path()));
        else
            settings.write(file);
        LoadSettings();
        QCOMPARE(loadedTitles(), titles);
        QCOMPARE(CommonSettings.PopTimeOut, popTimeOut);
        if (arrangement == u"removed after loading")
            QVERIFY(QFile::remove(settings.path()));
        // Whatever was loaded can be saved and loaded again unchanged.
        const AccountTable first = Accounts;
        saveAndReload();
        // A folder in the way cannot take the save, and the user hears of it.
        QCOMPARE(boxes.shown().size(), arrangement == u"folder" ? 1 : 0);
        QCOMPARE(QFileInfo(settings.path()).isDir(), arrangement == u"folder");
        QCOMPARE(Accounts.size(), first.size());
        for (size_t i = 0; i < first.size(); ++i) {
            QCOMPARE(Accounts[i].UserTitle, first[i].UserTitle);
            QCOMPARE(Accounts[i].UIDL, first[i].UIDL);
        }
    }

    void fiftyMegabyteFileLoadsCompletely()
    {
        TempSettingsFile settings;
        QByteArray file = "[Common]\r\nPopTimeOut=9\r\n[Account0]\r\nUserTitle=";
        file.append(QByteArray(50 * 1024 * 1024, 'x'));
        file.append("\r\nUIDL0=last\r\n[Account1]\r\nUserTitle=after\r\n");
        settings.write(file);
        file.clear();
        LoadSettings();
        QCOMPARE(CommonSettings.PopTimeOut, 9);
        QCOMPARE(Accounts.size(), size_t(2));
        QCOMPARE(Accounts[0].UserTitle.size(), qsizetype(50 * 1024 * 1024));
        QCOMPARE(Accounts[0].UIDL, QStringList { "last" });
        QCOMPARE(Accounts[1].UserTitle, QStringLiteral("after"));
    }
};

QTEST_GUILESS_MAIN(tst_AppSettings)
#include "tst_AppSettings.moc"
