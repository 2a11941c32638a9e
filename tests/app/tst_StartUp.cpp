#include "ScriptedMessageBoxService.h"
#include "TempSettingsFile.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "platform/Cp932.h"
#include "platform/SingleInstance.h"
#include "settings/API_IniFileAccess.h"
#include "startup/AppMain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kChildFlag[] = "--start-as-program";

// The program's start-up in a child process: prints "running" and stays
// until its input closes, or prints what the refusal said and ends.
int runAsProgram(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    ScriptedMessageBoxService boxes;
    API_IniFileAccess::SetIniFilePathForTests(QString::fromLocal8Bit(argv[3]));
    const SingleInstance instance(QString::fromLocal8Bit(argv[2]));
    if (!AppMain::StartUp(instance)) {
        const QString text
            = boxes.shown().isEmpty() ? QStringLiteral("(no message)") : boxes.shown().first().text;
        std::printf("refused %s\n", text.toUtf8().constData());
        std::fflush(stdout);
        return 0;
    }
    std::printf("running\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) { }
    return 0;
}

QString uniqueKey()
{
    return QDir::temp().filePath(
        QStringLiteral("tandrel-test-") + QUuid::createUuid().toString(QUuid::Id128));
}

// Sets (or, with an empty value, removes) an environment variable for the
// life of the object.
class EnvironmentChange {
public:
    EnvironmentChange(const char* name, const QString& value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }
    ~EnvironmentChange()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    EnvironmentChange(const EnvironmentChange&) = delete;
    EnvironmentChange& operator=(const EnvironmentChange&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

QString readLine(QProcess& process)
{
    const QDeadlineTimer deadline(60000);
    while (!process.canReadLine() && !deadline.hasExpired())
        process.waitForReadyRead(int(deadline.remainingTime()));
    return QString::fromUtf8(process.readLine()).trimmed();
}

} // namespace

class tst_StartUp : public QObject {
    Q_OBJECT

private:
    void startChild(QProcess& process, const QString& key, const QString& iniPath)
    {
        process.start(
            QCoreApplication::applicationFilePath(), { QString::fromLatin1(kChildFlag), key, iniPath });
    }

private Q_SLOTS:
    void refusedStartSaysWhyAndTouchesNothing_data()
    {
        QTest::addColumn<bool>("second");
        QTest::addColumn<QString>("text");
        QTest::addColumn<MessageBoxService::Icon>("icon");

        QTest::newRow("second start")
            << true << QStringLiteral("２重起動でありんすえ") << MessageBoxService::Icon::Information;
        QTest::newRow("no code page 932 converter")
            << false
            << QStringLiteral("このｼｽﾃﾑにはｺｰﾄﾞﾍﾟｰｼﾞ932(Shift_JIS)の文字変換がありません。\r\n"
                              "設定ﾌｧｲﾙを書きかえずに終了します。\r\n")
            << MessageBoxService::Icon::Exclamation;
    }

    void refusedStartSaysWhyAndTouchesNothing()
    {
        QFETCH(bool, second);
        QFETCH(QString, text);
        QFETCH(MessageBoxService::Icon, icon);
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        const QByteArray file = "[Common]\r\nPopTimeOut=77\r\n[Account0]\r\nUserTitle=a\r\n";
        settings.write(file);
        const QString key = uniqueKey();
        const SingleInstance running(key);
        QVERIFY(running.IsFirst());

        const SingleInstance starting(second ? key : uniqueKey());
        QCOMPARE(starting.IsFirst(), !second);
        if (!second)
            Cp932::SetConverterNameForTests("NO-SUCH-CODE-PAGE");
        CommonSettings.PopTimeOut = 1234; // neither defaults nor the file may replace it
        const bool started = AppMain::StartUp(starting);
        Cp932::SetConverterNameForTests({});
        QVERIFY(!started);

        QCOMPARE(boxes.shown().size(), 1);
        const auto& box = boxes.shown().first();
        QCOMPARE(box.text, text);
        QCOMPARE(box.icon, icon);
        QCOMPARE(box.buttons, MessageBoxService::Buttons::Ok);
        QCOMPARE(box.title, QStringLiteral("タンドレル"));
        QCOMPARE(CommonSettings.PopTimeOut, 1234);
        QVERIFY(Accounts.empty());
        QCOMPARE(settings.read(), file);
        QCOMPARE(
            QDir(settings.folder()).entryList(QDir::Files | QDir::Hidden), QStringList { "tandrel.ini" });
    }

    void firstStartLoadsTheSettingsWithoutAMessage()
    {
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        settings.write("[Common]\r\nPopTimeOut=77\r\n[Account0]\r\nUserTitle=a\r\n");
        const SingleInstance instance(uniqueKey());
        CommonSettings.PopTimeOut = 1234;
        QVERIFY(AppMain::StartUp(instance));
        QCOMPARE(boxes.shown().size(), 0);
        QCOMPARE(CommonSettings.PopTimeOut, 77);
        QCOMPARE(Accounts.size(), size_t(1));
    }

    void startsAtTheSameMomentLeaveOneRunning_data()
    {
        QTest::addColumn<int>("round");
        for (int round = 1; round <= 5; ++round)
            QTest::newRow(qPrintable(QStringLiteral("two starts at once, round %1").arg(round))) << round;
    }

    void startsAtTheSameMomentLeaveOneRunning()
    {
        TempSettingsFile settings;
        const QString key = uniqueKey();
        QProcess a;
        QProcess b;
        startChild(a, key, settings.path());
        startChild(b, key, settings.path());
        const QString first = readLine(a);
        const QString second = readLine(b);

        const QStringList outcomes { first, second };
        QCOMPARE(outcomes.count(QStringLiteral("running")), 1);
        QCOMPARE(outcomes.count(QStringLiteral("refused ２重起動でありんすえ")), 1);
        QProcess& runner = first == u"running" ? a : b;
        QProcess& refused = first == u"running" ? b : a;
        QVERIFY(refused.waitForFinished(60000));
        QCOMPARE(refused.exitCode(), 0);
        QCOMPARE(runner.state(), QProcess::Running);

        runner.closeWriteChannel();
        QVERIFY(runner.waitForFinished(60000));
        QVERIFY(!settings.exists()); // start-up reads; it never writes
    }

    void anotherUsersInstanceDoesNotBlockYours()
    {
        TempSettingsFile settings;
        const QString key = uniqueKey();
        QTemporaryDir theirs;
        QTemporaryDir mine;
        QProcess other;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), theirs.path());
        other.setProcessEnvironment(environment);
        startChild(other, key, settings.path());
        QCOMPARE(readLine(other), QStringLiteral("running"));

        const EnvironmentChange runtime("XDG_RUNTIME_DIR", mine.path());
        QVERIFY(SingleInstance(key).IsFirst());
        other.closeWriteChannel();
        QVERIFY(other.waitForFinished(60000));
    }

    void lockStaysInAFolderOfTheUsersOwn_data()
    {
        QTest::addColumn<QString>("arrangement");

        QTest::newRow("no desktop session") << "no runtime folder";
        QTest::newRow("runtime folder others may write to") << "open runtime folder";
        QTest::newRow("own name in the temporary folder taken") << "fallback taken";
    }

    void lockStaysInAFolderOfTheUsersOwn()
    {
        QFETCH(QString, arrangement);
        QTemporaryDir temp;
        QTemporaryDir cache;
        // Shared by all users, as the system's temporary folder is.
        QCOMPARE(::chmod(QFile::encodeName(temp.path()).constData(), 01777), 0);
        const EnvironmentChange tmpdir("TMPDIR", temp.path());
        const EnvironmentChange cacheHome("XDG_CACHE_HOME", cache.path());
        const QString open = temp.filePath(QStringLiteral("open"));
        QVERIFY(QDir().mkdir(open));
        QVERIFY(QFile::setPermissions(open, QFileDevice::Permissions(0x7777)));
        const EnvironmentChange runtime(
            "XDG_RUNTIME_DIR", arrangement == u"open runtime folder" ? open : QString());
        if (arrangement == u"fallback taken") {
            // What the program makes for itself there is open to everyone now.
            const QString own = SingleInstance::LockFolder();
            QVERIFY(own.startsWith(temp.path()));
            QVERIFY(QFile::setPermissions(own, QFileDevice::Permissions(0x7777)));
        }

        const QString key = uniqueKey();
        const QFileInfo folder(QFileInfo(SingleInstance::LockPath(key)).absolutePath());
        QVERIFY2(folder.isDir() && !folder.isSymLink(), qPrintable(folder.filePath()));
        QCOMPARE(folder.ownerId(), ::geteuid());
        QVERIFY2(!(folder.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther)),
            qPrintable(folder.filePath()));
        const SingleInstance first(key);
        QVERIFY(first.IsFirst());
        QVERIFY(!SingleInstance(key).IsFirst());
    }

    void lockOfAKilledInstanceIsTakenOver()
    {
        TempSettingsFile settings;
        const QString key = uniqueKey();
        QProcess crashed;
        startChild(crashed, key, settings.path());
        QCOMPARE(readLine(crashed), QStringLiteral("running"));
        QVERIFY(!SingleInstance(key).IsFirst());
        crashed.kill();
        QVERIFY(crashed.waitForFinished(60000));
        QVERIFY(SingleInstance(key).IsFirst());
    }
};

int main(int argc, char* argv[])
{
    if (argc == 4 && std::strcmp(argv[1], kChildFlag) == 0)
        return runAsProgram(argc, argv);
    QCoreApplication app(argc, argv);
    tst_StartUp test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_StartUp.moc"
