#include "ScriptedMessageBoxService.h"
#include "TempSettingsFile.h"

#include "app/AccountTable.h"
#include "app/AppMain.h"
#include "app/CommonSettings.h"
#include "platform/SingleInstance.h"
#include "settings/API_IniFileAccess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTest>
#include <QUuid>

#include <cstdio>
#include <cstring>

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
        const QString text = boxes.shown().isEmpty() ? QStringLiteral("(no message)") : boxes.shown().first().text;
        std::printf("refused %s\n", text.toUtf8().constData());
        std::fflush(stdout);
        return 0;
    }
    std::printf("running\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}

QString uniqueKey()
{
    return QDir::temp().filePath(QStringLiteral("tandrel-test-") + QUuid::createUuid().toString(QUuid::Id128));
}

QString readLine(QProcess& process)
{
    const QDeadlineTimer deadline(60000);
    while (!process.canReadLine() && !deadline.hasExpired())
        process.waitForReadyRead(int(deadline.remainingTime()));
    return QString::fromUtf8(process.readLine()).trimmed();
}

}  // namespace

class tst_StartUp : public QObject {
    Q_OBJECT

private:
    void startChild(QProcess& process, const QString& key, const QString& iniPath)
    {
        process.start(QCoreApplication::applicationFilePath(),
                      {QString::fromLatin1(kChildFlag), key, iniPath});
    }

private Q_SLOTS:
    void secondStartShowsTheMessageAndTouchesNothing()
    {
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        const QByteArray file = "[Common]\r\nPopTimeOut=77\r\n[Account0]\r\nUserTitle=a\r\n";
        settings.write(file);
        const QString key = uniqueKey();
        const SingleInstance running(key);
        QVERIFY(running.IsFirst());

        const SingleInstance second(key);
        QVERIFY(!second.IsFirst());
        CommonSettings.PopTimeOut = 1234;  // neither defaults nor the file may replace it
        QVERIFY(!AppMain::StartUp(second));

        QCOMPARE(boxes.shown().size(), 1);
        const auto& box = boxes.shown().first();
        QCOMPARE(box.text, QStringLiteral("２重起動でありんすえ"));
        QCOMPARE(box.icon, MessageBoxService::Icon::Information);
        QCOMPARE(box.buttons, MessageBoxService::Buttons::Ok);
        QCOMPARE(box.title, QStringLiteral("タンドレル"));
        QCOMPARE(CommonSettings.PopTimeOut, 1234);
        QVERIFY(Accounts.empty());
        QCOMPARE(settings.read(), file);
        QCOMPARE(QDir(settings.folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"tandrel.ini"});
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

        const QStringList outcomes{first, second};
        QCOMPARE(outcomes.count(QStringLiteral("running")), 1);
        QCOMPARE(outcomes.count(QStringLiteral("refused ２重起動でありんすえ")), 1);
        QProcess& runner = first == u"running" ? a : b;
        QProcess& refused = first == u"running" ? b : a;
        QVERIFY(refused.waitForFinished(60000));
        QCOMPARE(refused.exitCode(), 0);
        QCOMPARE(runner.state(), QProcess::Running);

        runner.closeWriteChannel();
        QVERIFY(runner.waitForFinished(60000));
        QVERIFY(!settings.exists());  // start-up reads; it never writes
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
