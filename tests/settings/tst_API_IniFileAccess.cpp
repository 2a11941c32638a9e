#include "ScriptedMessageBoxService.h"
#include "TempSettingsFile.h"

#include "platform/ExecutableInfo.h"
#include "settings/API_IniFileAccess.h"

#include <QDir>
#include <QTest>

using namespace API_IniFileAccess;

namespace {

QStringList flatten(const QList<IniPair>& pairs)
{
    QStringList out;
    for (const IniPair& pair : pairs)
        out << pair.Key << pair.Value;
    return out;
}

} // namespace

class tst_API_IniFileAccess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pathIsBesideTheExecutable()
    {
        SetIniFilePathForTests(QString());
        const QString path = GetIniFilePath();
        QCOMPARE(
            path, ExecutableInfo::Folder() + QDir::separator() + QStringLiteral("tst_API_IniFileAccess.ini"));
    }

    void testHookRedirectsAndRestores()
    {
        const QString normal = GetIniFilePath();
        SetIniFilePathForTests(QStringLiteral("/tmp/elsewhere.ini"));
        QCOMPARE(GetIniFilePath(), QStringLiteral("/tmp/elsewhere.ini"));
        SetIniFilePathForTests(QString());
        QCOMPARE(GetIniFilePath(), normal);
    }

    void readIniValue_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("value");

        QTest::newRow("present") << QByteArray("[Common]\r\nSoundFolder= C:\\Wave \r\n") << true
                                 << "C:\\Wave";
        QTest::newRow("present with empty value reads as missing")
            << QByteArray("[Common]\r\nSoundFolder=\r\n") << false << "";
        QTest::newRow("only quotes reads as missing")
            << QByteArray("[Common]\r\nSoundFolder=\"\"\r\n") << false << "";
        QTest::newRow("key missing") << QByteArray("[Common]\r\nOther=1\r\n") << false << "";
        QTest::newRow("section missing") << QByteArray("[Account0]\r\nSoundFolder=x\r\n") << false << "";
        QTest::newRow("value ends at a NUL")
            << QByteArray("[Common]\r\nSoundFolder=ab\0cd\r\n", 29) << true << "ab";
        QTest::newRow("value longer than any fixed buffer")
            << QByteArray("[Common]\r\nSoundFolder=" + QByteArray(40000, 'w') + "\r\n") << true
            << QString(40000, u'w');
    }

    void readIniValue()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, found);
        QFETCH(QString, value);
        TempSettingsFile settings;
        settings.write(file);
        QString out = QStringLiteral("stale");
        QCOMPARE(ReadIniValue(QStringLiteral("Common"), QStringLiteral("SoundFolder"), out), found);
        QCOMPARE(out, value);
    }

    void readIniSection_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("text");

        QTest::newRow("entries joined by single NULs")
            << QByteArray("[S]\r\na=1\r\n\r\nb=2\r\n") << true << QString::fromUtf16(u"a=1\0b=2", 7);
        QTest::newRow("empty section") << QByteArray("[S]\r\n[T]\r\na=1\r\n") << false << "";
        QTest::newRow("missing section") << QByteArray("[T]\r\na=1\r\n") << false << "";
        QTest::newRow("missing file") << QByteArray() << false << "";
    }

    void readIniSection()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, found);
        QFETCH(QString, text);
        TempSettingsFile settings;
        if (!file.isEmpty())
            settings.write(file);
        QString out = QStringLiteral("stale");
        QCOMPARE(ReadIniSection(QStringLiteral("S"), out), found);
        QCOMPARE(out, text);
    }

    void readIniSectionPairs_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<bool>("strip");
        QTest::addColumn<QStringList>("pairs");

        QTest::newRow("key, empty line, key gives two pairs")
            << QByteArray("a=1\r\n\r\nb=2") << true << QStringList { "a", "1", "b", "2" };
        QTest::newRow("split at the first equals sign only")
            << QByteArray("a=b=c") << true << QStringList { "a", "b=c" };
        QTest::newRow("key keeps letter case and blanks")
            << QByteArray(" Key =v") << true << QStringList { " Key ", "v" };
        QTest::newRow("quotes stripped from key and value")
            << QByteArray("\"k\"=\"v\"") << true << QStringList { "k", "v" };
        QTest::newRow("quotes kept without the flag")
            << QByteArray("\"k\"=\"v\"") << false << QStringList { "\"k\"", "\"v\"" };
        QTest::newRow("value opening a quote it does not close keeps it")
            << QByteArray("k=\"v") << true << QStringList { "k", "\"v" };
        QTest::newRow("single quotes are not stripped")
            << QByteArray("k='v'") << true << QStringList { "k", "'v'" };
        QTest::newRow("entry without equals skipped")
            << QByteArray("loose words\r\nk=v") << true << QStringList { "k", "v" };
        QTest::newRow("empty key and value") << QByteArray("=") << true << QStringList { "", "" };
        QTest::newRow("key of one quote kept") << QByteArray("\"=x") << true << QStringList { "\"", "x" };
    }

    void readIniSectionPairs()
    {
        QFETCH(QByteArray, section);
        QFETCH(bool, strip);
        QFETCH(QStringList, pairs);
        TempSettingsFile settings;
        settings.write("[S]\r\n" + section + "\r\n");
        QList<IniPair> out { { QStringLiteral("old"), QStringLiteral("pair") } };
        QVERIFY(ReadIniSectionPairs(QStringLiteral("S"), out, strip));
        QCOMPARE(flatten(out), pairs);
    }

    void failedSectionReadKeepsThePairs()
    {
        TempSettingsFile settings;
        QList<IniPair> out { { QStringLiteral("old"), QStringLiteral("pair") } };
        QVERIFY(!ReadIniSectionPairs(QStringLiteral("Missing"), out, true));
        QCOMPARE(flatten(out), QStringList({ "old", "pair" }));
    }

    void stripQuotes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stripped");

        QTest::newRow("enclosed") << "\"abc\""
                                  << "abc";
        QTest::newRow("only one pair") << "\"\"abc\"\""
                                       << "\"abc\"";
        QTest::newRow("inner quotes stay") << "\"a\"b\""
                                           << "a\"b";
        QTest::newRow("opening only") << "\"abc"
                                      << "\"abc";
        QTest::newRow("closing only") << "abc\""
                                      << "abc\"";
        QTest::newRow("a single quote character") << "\""
                                                  << "\"";
        QTest::newRow("two quotes") << "\"\""
                                    << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("blanks outside the quotes") << " \"a\" "
                                                   << " \"a\" ";
    }

    void stripQuotes()
    {
        QFETCH(QString, text);
        QFETCH(QString, stripped);
        QCOMPARE(StripQuotes(text), stripped);
    }

    void writeCreatesAMissingFileWithoutWarning()
    {
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        QVERIFY(WriteIniValue(QStringLiteral("Common"), QStringLiteral("10"), QStringLiteral("PopTimeOut")));
        QVERIFY(WriteIniValue(QStringLiteral("Common"), QString(), QStringLiteral("ArrivalSound")));
        QVERIFY(WriteIniValue(QStringLiteral("Account0"), QStringLiteral("x"), QStringLiteral("UserTitle")));
        QVERIFY(WriteIniValue(QStringLiteral("Common"), QStringLiteral("20"), QStringLiteral("poptimeout")));
        QCOMPARE(settings.read(),
            QByteArray("[Common]\r\nPopTimeOut=20\r\nArrivalSound=\r\n[Account0]\r\nUserTitle=x\r\n"));
        QCOMPARE(boxes.shown().size(), 0);
    }

    void checkIniFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("warnings");

        QTest::newRow("missing file") << "missing" << false << 0;
        QTest::newRow("folder") << "folder" << false << 0;
        QTest::newRow("writable file") << "writable" << true << 0;
        QTest::newRow("read-only file") << "read-only" << true << 1;
    }

    void checkIniFile()
    {
        QFETCH(QString, kind);
        QFETCH(bool, result);
        QFETCH(int, warnings);
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        if (kind == u"folder")
            QDir().mkdir(settings.path());
        else if (kind != u"missing")
            settings.write("[Common]\r\n");
        settings.setReadOnly(kind == u"read-only");
        QCOMPARE(CheckIniFile(settings.path()), result);
        QCOMPARE(CheckIniFile(settings.path()), result);
        QCOMPARE(boxes.shown().size(), warnings);
        QCOMPARE(CheckedIniFiles.contains(settings.path()), result);
    }

    void readOnlyWarningOncePerRunAcrossWrites()
    {
        TempSettingsFile settings;
        ScriptedMessageBoxService boxes;
        settings.write("[Common]\r\nPopTimeOut=1\r\n");
        // Checked while still writable: no warning now, and none later either.
        QVERIFY(WriteIniValue(QStringLiteral("Common"), QStringLiteral("2"), QStringLiteral("PopTimeOut")));
        settings.setReadOnly(true);
        QVERIFY(!WriteIniValue(QStringLiteral("Common"), QStringLiteral("3"), QStringLiteral("PopTimeOut")));
        QCOMPARE(boxes.shown().size(), 0);
        QCOMPARE(settings.read(), QByteArray("[Common]\r\nPopTimeOut=2\r\n"));
    }

    void writeIntoAFolderFails()
    {
        TempSettingsFile settings;
        QVERIFY(QDir().mkdir(settings.path()));
        QVERIFY(!WriteIniValue(QStringLiteral("Common"), QStringLiteral("1"), QStringLiteral("PopTimeOut")));
        QVERIFY(!WriteIniFile({ IniSection { QStringLiteral("Common"), {}, {}, {} } }));
        QVERIFY(QFileInfo(settings.path()).isDir());
    }

    void fileThatDisappearsBetweenTwoReads()
    {
        TempSettingsFile settings;
        settings.write("[Common]\r\nPopTimeOut=5\r\n[Account0]\r\nUserTitle=x\r\n");
        QString value;
        QVERIFY(ReadIniValue(QStringLiteral("Common"), QStringLiteral("PopTimeOut"), value));
        QVERIFY(QFile::remove(settings.path()));
        QList<IniPair> pairs { { QStringLiteral("kept"), QString() } };
        QVERIFY(!ReadIniSectionPairs(QStringLiteral("Account0"), pairs, true));
        QCOMPARE(pairs.size(), 1);
        QVERIFY(!ReadIniValue(QStringLiteral("Common"), QStringLiteral("PopTimeOut"), value));
        QVERIFY(value.isEmpty());
        // and one that comes back as a folder
        QVERIFY(QDir().mkdir(settings.path()));
        QVERIFY(!ReadIniValue(QStringLiteral("Common"), QStringLiteral("PopTimeOut"), value));
    }
};

QTEST_GUILESS_MAIN(tst_API_IniFileAccess)
#include "tst_API_IniFileAccess.moc"
