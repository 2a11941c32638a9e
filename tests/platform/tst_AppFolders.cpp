#include "UnwritableFolder.h"

#include "platform/AppFolders.h"

#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace AppFolders;

class tst_AppFolders : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void settingsFolder_data()
    {
        QTest::addColumn<QString>("configHome"); // XDG_CONFIG_HOME; "/..." is below the temporary root
        QTest::addColumn<bool>("mayWrite"); // what the probe answers
        QTest::addColumn<bool>("probed"); // asked of a real folder instead
        QTest::addColumn<bool>("holdsFile");
        QTest::addColumn<QString>("expected"); // below the temporary root; "program" for beside it

        QTest::newRow("writable folder: beside the program") << "/cfg" << true << false << false << "program";
        QTest::newRow("read-only, holding the file: beside it")
            << "/cfg" << false << false << true << "program";
        QTest::newRow("read-only, no file: XDG_CONFIG_HOME")
            << "/cfg" << false << false << false << "cfg/tandrel";
        QTest::newRow("XDG_CONFIG_HOME unset: ~/.config")
            << "" << false << false << false << "home/.config/tandrel";
        QTest::newRow("relative XDG_CONFIG_HOME ignored")
            << "cfg" << false << false << false << "home/.config/tandrel";
        QTest::newRow("probed: the user may write") << "/cfg" << true << true << false << "program";
        QTest::newRow("probed: the user may not, even root")
            << "/cfg" << false << true << false << "cfg/tandrel";
    }

    void settingsFolder()
    {
        QFETCH(QString, configHome);
        QFETCH(bool, mayWrite);
        QFETCH(bool, probed);
        QFETCH(bool, holdsFile);
        QFETCH(QString, expected);
        QTemporaryDir folder, root;
        const QString ini = QStringLiteral("tandrel.ini");
        QVERIFY(!holdsFile || QFile(folder.filePath(ini)).open(QIODevice::WriteOnly));
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
        if (!configHome.isEmpty())
            environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                configHome.startsWith(u'/') ? root.path() + configHome : configHome);
        std::optional<UnwritableFolder> unwritable;
        if (probed && !mayWrite)
            QVERIFY(unwritable.emplace(folder.path()).holds());
        const QString found = probed ? SettingsFolder(folder.path(), ini, environment)
                                     : SettingsFolder(folder.path(), ini, mayWrite, environment);
        QCOMPARE(found, expected == u"program" ? folder.path() : root.filePath(expected));
    }

    void shippedSounds_data()
    {
        // The program's folder, the sound's name, the file played (empty: none).
        QTest::addColumn<QStringList>("row");

        QTest::newRow("own folder: share/tandrel beside it")
            << QStringList { "opt", "chime.wav", "opt/share/tandrel/chime.wav" };
        QTest::newRow("/usr/bin: /usr/share/tandrel")
            << QStringList { "usr/bin", "chime.wav", "usr/share/tandrel/chime.wav" };
        QTest::newRow("not a bin folder: not its parent's") << QStringList { "usr/tests", "chime.wav", "" };
        QTest::newRow("the user's copy wins") << QStringList { "usr/bin", "both.wav", "Wave/both.wav" };
        QTest::newRow("empty name plays nothing") << QStringList { "usr/bin", "", "" };
    }

    void shippedSounds()
    {
        QFETCH(QStringList, row);
        QTemporaryDir root;
        const QDir dir(root.path());
        for (const char* file : { "Wave/mine.wav", "Wave/both.wav", "usr/share/tandrel/chime.wav",
                 "usr/share/tandrel/both.wav", "opt/share/tandrel/chime.wav" }) {
            QVERIFY(dir.mkpath(QFileInfo(dir.filePath(QString::fromLatin1(file))).path()));
            QVERIFY(QFile(dir.filePath(QString::fromLatin1(file))).open(QIODevice::WriteOnly));
        }
        QVERIFY(dir.mkpath(row[0]));
        const QString data = DataFolder(dir.filePath(row[0]));
        const QString user = dir.filePath(QStringLiteral("Wave"));
        QCOMPARE(FindSound(row[1], user, data), row[2].isEmpty() ? QString() : dir.filePath(row[2]));
        if (row[0] == u"usr/bin")
            QCOMPARE(SoundNames(user, data), (QStringList { "both.wav", "chime.wav", "mine.wav" }));
    }
};

QTEST_GUILESS_MAIN(tst_AppFolders)
#include "tst_AppFolders.moc"
