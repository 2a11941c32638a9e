#include "mail/ImapFraming.h"

#include <QTest>

using namespace ImapFraming;

Q_DECLARE_METATYPE(ImapFraming::FrameState)

class tst_ImapFraming : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scan_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<qsizetype>("maxSize");
        QTest::addColumn<FrameState>("state");
        QTest::addColumn<qsizetype>("length");

        const qsizetype mib = 1024 * 1024;
        const char fetch[] = "* 1 FETCH (BODY[HEADER] {8}\r\nA:\0b\r\n\r\n)\r\n";
        const QByteArray header(fetch, sizeof fetch - 1);
        QTest::newRow("tagged reply, next one behind it")
            << QByteArray("a1 OK done\r\n* 2 EXISTS\r\n") << mib << FrameState::Complete << qsizetype(12);
        QTest::newRow("header literal holding CR LF and NUL") << header + "a1 OK\r\n"
                                                              << mib << FrameState::Complete << header.size();
        QTest::newRow("literal cut short")
            << header.first(33) << mib << FrameState::Incomplete << qsizetype(0);
        QTest::newRow("literal announcing gigabytes") << QByteArray("* 1 FETCH (BODY[] {4294967296}\r\n")
                                                      << mib << FrameState::TooLarge << qsizetype(0);
        QTest::newRow("literal size beyond 64 bits")
            << QByteArray("* 1 FETCH (BODY[] {184467440737095516170}\r\n") << mib << FrameState::TooLarge
            << qsizetype(0);
        QTest::newRow("small literals piling up beyond the bound")
            << QByteArray("* 1 FETCH (A {4}\r\nxxxx B {4}\r\nxxxx C {4}\r\nxxxx)\r\n") << qsizetype(40)
            << FrameState::TooLarge << qsizetype(0);
        QTest::newRow("non-synchronising literal {n+}") << QByteArray("* 1 FETCH (BODY[] {2+}\r\nab)\r\n")
                                                        << mib << FrameState::Complete << qsizetype(29);
        QTest::newRow("{n} inside a quoted string is no literal")
            << QByteArray("* 1 FETCH (BODY[] \"a {3}\")\r\nxyz") << mib << FrameState::Complete
            << qsizetype(28);
        QTest::newRow("NUL byte inside a line")
            << QByteArray("* OK \0hi\r\n", 10) << mib << FrameState::Malformed << qsizetype(0);
        QTest::newRow("bare LF") << QByteArray("* OK hi\n") << mib << FrameState::Malformed << qsizetype(0);
        QTest::newRow("longest line") << QByteArray(MaxLine - 2, 'x') + "\r\n"
                                      << 2 * MaxLine << FrameState::Complete << MaxLine;
        QTest::newRow("one byte over the longest line")
            << QByteArray(MaxLine - 1, 'x') + "\r\n"
            << 2 * MaxLine << FrameState::TooLarge << qsizetype(0);
    }

    void scan()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(qsizetype, maxSize);
        QFETCH(FrameState, state);
        QFETCH(qsizetype, length);

        const Frame frame = ScanResponse(buffer, maxSize);
        QCOMPARE(frame.state, state);
        QCOMPARE(frame.length, length);
    }

    // However the bytes arrive, a scan that carries on from the last one ends
    // the response where a scan of all of it does.
    void scanFedPieceByPiece_data()
    {
        QTest::addColumn<int>("pieceSize");

        QTest::newRow("one byte at a time") << 1;
        QTest::newRow("pieces that end inside and beyond a literal") << 3;
    }

    void scanFedPieceByPiece()
    {
        QFETCH(int, pieceSize);

        const QByteArray response = "* 1 FETCH (BODY[HEADER] {10}\r\nA: {2}\r\n\r\n UID {1}\r\n4)\r\n";
        const QByteArray stream = response + "a1 OK done\r\n";
        QByteArray buffer;
        Frame frame;
        for (qsizetype pos = 0; frame.state == FrameState::Incomplete && pos < stream.size();
             pos += pieceSize) {
            buffer += stream.mid(pos, pieceSize);
            frame = ScanResponse(buffer, 1024, frame);
        }
        QCOMPARE(frame.state, FrameState::Complete);
        QCOMPARE(buffer.first(frame.length), response);
    }

    void astring_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("literal"); // null: none

        QTest::newRow("password that is one word")
            << u"secret"_qs << QByteArray("\"secret\"") << QByteArray();
        QTest::newRow("quote and backslash escaped")
            << u"pa\"ss\\word"_qs << QByteArray("\"pa\\\"ss\\\\word\"") << QByteArray();
        QTest::newRow("empty user name") << QString() << QByteArray("\"\"") << QByteArray();
        QTest::newRow("Japanese password as a literal")
            << u"パス"_qs << QByteArray("{6}\r\n") << QByteArray("\xe3\x83\x91\xe3\x82\xb9");
        QTest::newRow("tab as a literal") << u"a\tb"_qs << QByteArray("{3}\r\n") << QByteArray("a\tb");
    }

    void astring()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, literal);

        const Astring got = ToAstring(text);
        QCOMPARE(got.head, head);
        QCOMPARE(got.literal.has_value(), !literal.isNull());
        if (got.literal)
            QCOMPARE(*got.literal, literal);
    }
};

QTEST_GUILESS_MAIN(tst_ImapFraming)
#include "tst_ImapFraming.moc"
