#include "platform/Cp932.h"
#include "platform/IniDocument.h"

#include <QTest>

class tst_IniDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void value_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");

        const QByteArray common = "[Common]\r\nPopTimeOut=30\r\n";
        QTest::newRow("plain entry") << common << "Common"
                                     << "PopTimeOut"
                                     << "30";
        QTest::newRow("key in other letter case") << common << "Common"
                                                  << "poptimeout"
                                                  << "30";
        QTest::newRow("section in other letter case") << common << "COMMON"
                                                      << "PopTimeOut"
                                                      << "30";
        QTest::newRow("blanks around the names asked for") << common << " Common "
                                                           << " PopTimeOut\t"
                                                           << "30";
        QTest::newRow("blanks around key, equals and value")
            << QByteArray("[Common]\r\n  PopTimeOut \t=  30 \r\n") << "Common"
            << "PopTimeOut"
            << "30";
        QTest::newRow("blanks inside the brackets") << QByteArray("[ Common ]\r\nA=1\r\n") << "Common"
                                                    << "A"
                                                    << "1";
        QTest::newRow("text after the closing bracket ignored")
            << QByteArray("[Common] ; the options\r\nA=1\r\n") << "Common"
            << "A"
            << "1";
        QTest::newRow("double quotes removed") << QByteArray("[S]\r\nA=\" x \"\r\n") << "S"
                                               << "A"
                                               << " x ";
        QTest::newRow("single quotes removed") << QByteArray("[S]\r\nA='x'\r\n") << "S"
                                               << "A"
                                               << "x";
        QTest::newRow("only one pair of quotes removed") << QByteArray("[S]\r\nA=\"\"x\"\"\r\n") << "S"
                                                         << "A"
                                                         << "\"x\"";
        QTest::newRow("mismatched quotes stay") << QByteArray("[S]\r\nA=\"x'\r\n") << "S"
                                                << "A"
                                                << "\"x'";
        QTest::newRow("a lone quote stays") << QByteArray("[S]\r\nA=\"\r\n") << "S"
                                            << "A"
                                            << "\"";
        QTest::newRow("value split at the first equals sign") << QByteArray("[S]\r\nA=b=c==\r\n") << "S"
                                                              << "A"
                                                              << "b=c==";
        QTest::newRow("semicolon inside a value belongs to it") << QByteArray("[S]\r\nA=x;y\r\n") << "S"
                                                                << "A"
                                                                << "x;y";
        QTest::newRow("commented-out key is not found") << QByteArray("[S]\r\n;A=1\r\n") << "S"
                                                        << "A"
                                                        << "";
        QTest::newRow("hash is no comment") << QByteArray("[S]\r\n#A=1\r\n") << "S"
                                            << "#A"
                                            << "1";
        QTest::newRow("first of two equal keys wins") << QByteArray("[S]\r\nA=1\r\na=2\r\n") << "S"
                                                      << "A"
                                                      << "1";
        QTest::newRow("first of two equal sections wins")
            << QByteArray("[S]\r\nA=1\r\n[s]\r\nA=2\r\nB=3\r\n") << "S"
            << "A"
            << "1";
        QTest::newRow("key only in the second copy of a section is not seen")
            << QByteArray("[S]\r\nA=1\r\n[s]\r\nB=3\r\n") << "S"
            << "B"
            << "";
        QTest::newRow("key of another section not seen") << QByteArray("[S]\r\nA=1\r\n[T]\r\nB=2\r\n") << "S"
                                                         << "B"
                                                         << "";
        QTest::newRow("lines before the first section belong to none")
            << QByteArray("A=1\r\n[S]\r\nB=2\r\n") << "S"
            << "A"
            << "";
        QTest::newRow("LF line ends") << QByteArray("[S]\nA=1\nB=2\n") << "S"
                                      << "B"
                                      << "2";
        QTest::newRow("CR line ends") << QByteArray("[S]\rA=1\rB=2\r") << "S"
                                      << "B"
                                      << "2";
        QTest::newRow("mixed line ends") << QByteArray("[S]\r\nA=1\rB=2\nC=3") << "S"
                                         << "C"
                                         << "3";
        QTest::newRow("last line without a line end") << QByteArray("[S]\r\nA=1") << "S"
                                                      << "A"
                                                      << "1";
        QTest::newRow("key line without equals has no value") << QByteArray("[S]\r\nA\r\n") << "S"
                                                              << "A"
                                                              << "";
        QTest::newRow("header without closing bracket is no header")
            << QByteArray("[S]\r\nA=1\r\n[T\r\nB=2\r\n") << "S"
            << "B"
            << "2";
        QTest::newRow("Japanese value in code page 932")
            << QByteArray("[S]\r\nTitle=\x83\x81\x81\x5B\x83\x8B\r\n") << "S"
            << "Title" << QStringLiteral("メール");
        QTest::newRow("trail byte 0x5D is no closing bracket")
            << QByteArray("[\x83\x5D]\r\nA=1\r\n") << QString(QChar(0x30BE)) << "A"
            << "1";
        QTest::newRow("missing section") << common << "Account0"
                                         << "PopTimeOut"
                                         << "";
        QTest::newRow("empty file") << QByteArray() << "Common"
                                    << "PopTimeOut"
                                    << "";
    }

    void value()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QCOMPARE(IniDocument::FromBytes(file).Value(section, key), value);
    }

    void sectionLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("entries in file order")
            << QByteArray("[A]\r\nz=1\r\na=2\r\n[B]\r\nc=3\r\n") << "A" << QStringList { "z=1", "a=2" };
        QTest::newRow("keys keep their blanks and letter case")
            << QByteArray("[A]\r\n Key =v\r\n") << "a" << QStringList { " Key =v" };
        QTest::newRow("comment and blank lines left out")
            << QByteArray("[A]\r\n;note\r\n\r\n  \r\nk=v\r\n\t; another\r\n") << "A" << QStringList { "k=v" };
        QTest::newRow("line without equals returned as it stands") << QByteArray(
            "[A]\r\nno equals here\r\nk=v\r\n") << "A" << QStringList { "no equals here", "k=v" };
        QTest::newRow("only the first of two equal sections")
            << QByteArray("[A]\r\nk=1\r\n[a]\r\nk=2\r\n") << "A" << QStringList { "k=1" };
        QTest::newRow("header only") << QByteArray("[A]\r\n[B]\r\nk=v\r\n") << "A" << QStringList {};
        QTest::newRow("missing section") << QByteArray("[A]\r\nk=v\r\n") << "B" << QStringList {};
        QTest::newRow("a long section arrives whole")
            << ("[A]\r\n" + QByteArray("k=").append(QByteArray(20000, 'x'))) << "A"
            << QStringList { "k=" + QString(20000, u'x') };
    }

    void sectionLines()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QStringList, lines);
        QCOMPARE(IniDocument::FromBytes(file).SectionLines(section), lines);
    }

    void setValue_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("new file") << QByteArray() << "Common"
                                  << "PopTimeOut"
                                  << "10" << QByteArray("[Common]\r\nPopTimeOut=10\r\n");
        QTest::newRow("existing key replaced in place keeping its spelling")
            << QByteArray("[S]\r\n poptimeout = 5 \r\nB=1\r\n") << "S"
            << "PopTimeOut"
            << "7" << QByteArray("[S]\r\npoptimeout=7\r\nB=1\r\n");
        QTest::newRow("new key after the last key of its section")
            << QByteArray("[S]\r\nA=1\r\n\r\n[T]\r\nB=2\r\n") << "S"
            << "C"
            << "3" << QByteArray("[S]\r\nA=1\r\nC=3\r\n\r\n[T]\r\nB=2\r\n");
        QTest::newRow("new key into a section with only its header")
            << QByteArray("[S]\r\n[T]\r\n") << "S"
            << "A"
            << "1" << QByteArray("[S]\r\nA=1\r\n[T]\r\n");
        QTest::newRow("new section at the end without a blank line")
            << QByteArray("[S]\r\nA=1\r\n") << "T"
            << "B"
            << "2" << QByteArray("[S]\r\nA=1\r\n[T]\r\nB=2\r\n");
        QTest::newRow("last line without line end gets one") << QByteArray("[S]\r\nA=1") << "S"
                                                             << "B"
                                                             << "2" << QByteArray("[S]\r\nA=1\r\nB=2\r\n");
        QTest::newRow("untouched lines keep LF ends and odd bytes")
            << QByteArray("; \x80\xFF\n[S]\nA=1\n") << "S"
            << "A"
            << "2" << QByteArray("; \x80\xFF\n[S]\nA=2\r\n");
        QTest::newRow("empty value written with nothing after the equals sign")
            << QByteArray("[S]\r\nA=1\r\n") << "S"
            << "A"
            << "" << QByteArray("[S]\r\nA=\r\n");
        QTest::newRow("value written without quoting") << QByteArray() << "S"
                                                       << "A"
                                                       << " \"q\" " << QByteArray("[S]\r\nA= \"q\" \r\n");
        QTest::newRow("line breaks in a value dropped")
            << QByteArray() << "S"
            << "A"
            << "x\r\n[Evil]\r\nB=y" << QByteArray("[S]\r\nA=x[Evil]B=y\r\n");
        QTest::newRow("Japanese value encoded in code page 932")
            << QByteArray() << "S"
            << "T" << QStringLiteral("メール") << QByteArray("[S]\r\nT=\x83\x81\x81\x5B\x83\x8B\r\n");
    }

    void setValue()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        IniDocument doc = IniDocument::FromBytes(before);
        doc.SetValue(section, key, value);
        QCOMPARE(doc.ToBytes(), after);
    }

    void untouchedFileKeepsEveryByte()
    {
        const QByteArray odd("\xEF\xBB\xBF[S]\r\nA=\x81\r\n\0x\r\n\x82", 20);
        QCOMPARE(IniDocument::FromBytes(odd).ToBytes(), odd);
    }

    void entryLineDropsLineBreaksAndNul_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("line");

        QTest::newRow("identifier smuggling a second entry") << "UIDL0"
                                                             << "abc\r\nPopServer=evil.example"
                                                             << "UIDL0=abcPopServer=evil.example";
        QTest::newRow("bare LF") << "K"
                                 << "a\nb"
                                 << "K=ab";
        QTest::newRow("bare CR") << "K"
                                 << "a\rb"
                                 << "K=ab";
        QTest::newRow("NUL") << "K" << QString::fromUtf16(u"a\0b", 3) << "K=ab";
        QTest::newRow("break in the key") << "K\r\n[X]"
                                          << "v"
                                          << "K[X]=v";
    }

    void entryLineDropsLineBreaksAndNul()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, line);
        QCOMPARE(IniDocument::EntryLine(key, value), line);
    }
};

QTEST_GUILESS_MAIN(tst_IniDocument)
#include "tst_IniDocument.moc"
