#include "mail/Pop3Framing.h"

#include <QTest>

using namespace Pop3Framing;

Q_DECLARE_METATYPE(Pop3Framing::FrameState)

class tst_Pop3Framing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void singleLine_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<FrameState>("state");
        QTest::addColumn<qsizetype>("length");

        QTest::newRow("nothing yet") << QByteArray() << FrameState::Incomplete << qsizetype(0);
        QTest::newRow("greeting complete")
            << QByteArray("+OK ready\r\n") << FrameState::Complete << qsizetype(11);
        QTest::newRow("CR arrived, LF not yet")
            << QByteArray("+OK ready\r") << FrameState::Incomplete << qsizetype(0);
        QTest::newRow("bare LF ends a line")
            << QByteArray("+OK ready\n") << FrameState::Complete << qsizetype(10);
        QTest::newRow("bare CR inside the line")
            << QByteArray("+OK a\rb\r\n") << FrameState::Complete << qsizetype(9);
        QTest::newRow("next reply already behind it")
            << QByteArray("+OK\r\n+OK 2\r\n") << FrameState::Complete << qsizetype(5);
        QTest::newRow("empty line") << QByteArray("\r\n") << FrameState::Complete << qsizetype(2);
        QTest::newRow("8 KiB line with its CR LF") << QByteArray(MaxStatusLine, 'x') + "\r\n"
                                                   << FrameState::Complete << qsizetype(MaxStatusLine + 2);
        QTest::newRow("8 KiB line still waiting for CR LF")
            << QByteArray(MaxStatusLine + 1, 'x') << FrameState::Incomplete << qsizetype(0);
        QTest::newRow("over 8 KiB without CR LF")
            << QByteArray(MaxStatusLine + 2, 'x') << FrameState::TooLong << qsizetype(0);
        QTest::newRow("CR LF just beyond the limit") << QByteArray(MaxStatusLine + 1, 'x') + "\r\n"
                                                     << FrameState::TooLong << qsizetype(0);
        QTest::newRow("NUL bytes inside the line")
            << QByteArray("+OK \0\0\r\n", 8) << FrameState::Complete << qsizetype(8);
    }

    void singleLine()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(FrameState, state);
        QFETCH(qsizetype, length);

        const Frame frame = ScanSingleLine(buffer);
        QCOMPARE(frame.state, state);
        if (state == FrameState::Complete)
            QCOMPARE(frame.length, length);
    }

    void multiLine_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<FrameState>("state");
        QTest::addColumn<QByteArray>("reply");

        const QByteArray top = "+OK\r\nFrom: a@b\r\nSubject: hi\r\n\r\n.\r\n";
        QTest::newRow("status line and headers in one piece") << top << FrameState::Complete << top;
        QTest::newRow("status line only so far")
            << QByteArray("+OK\r\n") << FrameState::Incomplete << QByteArray();
        QTest::newRow("headers without the dot line yet")
            << top.chopped(3) << FrameState::Incomplete << QByteArray();
        QTest::newRow("dot arrived, its CR LF not yet")
            << top.chopped(2) << FrameState::Incomplete << QByteArray();
        QTest::newRow("negative reply is one line")
            << QByteArray("-ERR no such message\r\n") << FrameState::Complete
            << QByteArray("-ERR no such message\r\n");
        QTest::newRow("negative reply followed by junk lines")
            << QByteArray("-ERR gone\r\nFrom: x\r\n.\r\n") << FrameState::Complete
            << QByteArray("-ERR gone\r\n");
        QTest::newRow("no lines at all")
            << QByteArray("+OK\r\n.\r\n") << FrameState::Complete << QByteArray("+OK\r\n.\r\n");
        QTest::newRow("dot-stuffed line is not the end")
            << QByteArray("+OK\r\n..\r\nX: y\r\n.\r\n") << FrameState::Complete
            << QByteArray("+OK\r\n..\r\nX: y\r\n.\r\n");
        QTest::newRow("dot followed by text is not the end")
            << QByteArray("+OK\r\n.x\r\n") << FrameState::Incomplete << QByteArray();
        QTest::newRow("dot with bare LF ends the block")
            << QByteArray("+OK\r\nA\r\n.\n") << FrameState::Complete << QByteArray("+OK\r\nA\r\n.\n");
        QTest::newRow("bare LF lines throughout")
            << QByteArray("+OK\nA: b\n..c\n.\nnext") << FrameState::Complete
            << QByteArray("+OK\nA: b\n..c\n.\n");
        QTest::newRow("the next reply already behind the dot line") << top + "+OK 2 x\r\n"
                                                                    << FrameState::Complete << top;
        QTest::newRow("lower-case +ok still has lines")
            << QByteArray("+ok\r\nA\r\n.\r\n") << FrameState::Complete << QByteArray("+ok\r\nA\r\n.\r\n");
        QTest::newRow("header block just within 1 MiB")
            << "+OK\r\n" + QByteArray(MaxMultiLineBody - 2, 'h') + "\r\n.\r\n"
            << FrameState::Complete << "+OK\r\n" + QByteArray(MaxMultiLineBody - 2, 'h') + "\r\n.\r\n";
        QTest::newRow("header block over 1 MiB without the dot")
            << "+OK\r\n" + QByteArray(MaxMultiLineBody + 1, 'h') << FrameState::TooLong << QByteArray();
        QTest::newRow("endless status line")
            << "+OK " + QByteArray(MaxStatusLine, 'x') << FrameState::TooLong << QByteArray();
    }

    void multiLine()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(FrameState, state);
        QFETCH(QByteArray, reply);

        const Frame frame = ScanMultiLine(buffer);
        QCOMPARE(frame.state, state);
        if (state == FrameState::Complete)
            QCOMPARE(buffer.first(frame.length), reply);
    }

    // However the bytes arrive, the reply ends at the same place, and a scan
    // that resumes where the last one stopped agrees with a fresh one.
    void multiLineFedPieceByPiece_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("pieceSize");

        const QByteArray top = "+OK 120 octets\r\nFrom: a@b\r\n..dotted\r\nSubject: hi\r\n\r\n.\r\n";
        QTest::newRow("one byte at a time") << top << 1;
        QTest::newRow("two bytes at a time (CR and LF apart)") << top << 2;
        QTest::newRow("five bytes at a time") << top << 5;
        QTest::newRow("negative reply one byte at a time") << QByteArray("-ERR nope\r\n") << 1;
        QTest::newRow("empty block one byte at a time") << QByteArray("+OK\r\n.\r\n") << 1;
    }

    void multiLineFedPieceByPiece()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, pieceSize);

        const QByteArray stream = reply + "+OK next\r\n";
        QByteArray buffer;
        qsizetype resumeAt = 0;
        for (qsizetype pos = 0; pos < stream.size(); pos += pieceSize) {
            buffer += stream.mid(pos, pieceSize);
            const Frame frame = ScanMultiLine(buffer, resumeAt);
            resumeAt = frame.resumeAt;
            QVERIFY(frame.state != FrameState::TooLong);
            if (frame.state == FrameState::Complete) {
                QCOMPARE(buffer.first(frame.length), reply);
                return;
            }
        }
        QFAIL("the reply never completed");
    }

    void statusLineAndVerdict_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<bool>("positive");

        QTest::newRow("plain +OK") << QByteArray("+OK 2 320\r\n") << QByteArray("+OK 2 320") << true;
        QTest::newRow("+OK alone") << QByteArray("+OK\r\n") << QByteArray("+OK") << true;
        QTest::newRow("lower case") << QByteArray("+ok\r\n") << QByteArray("+ok") << true;
        QTest::newRow("-ERR") << QByteArray("-ERR [AUTH] bad\r\n") << QByteArray("-ERR [AUTH] bad") << false;
        QTest::newRow("+OK only later in the line")
            << QByteArray("hello +OK\r\n") << QByteArray("hello +OK") << false;
        QTest::newRow("+OK on the second line")
            << QByteArray("-ERR\r\n+OK\r\n") << QByteArray("-ERR") << false;
        QTest::newRow("truncated +O") << QByteArray("+O\r\n") << QByteArray("+O") << false;
        QTest::newRow("empty line") << QByteArray("\r\n") << QByteArray() << false;
    }

    void statusLineAndVerdict()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, statusLine);
        QFETCH(bool, positive);

        QCOMPARE(StatusLine(reply), statusLine);
        QCOMPARE(IsPositive(StatusLine(reply)), positive);
    }

    void body_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("headers and the empty line that ends them") << QByteArray(
            "+OK\r\nFrom: a@b\r\nSubject: hi\r\n\r\n.\r\n") << QByteArray("From: a@b\r\nSubject: hi\r\n\r\n");
        QTest::newRow("doubled dot loses one") << QByteArray("+OK\r\n..\r\n.\r\n") << QByteArray(".\r\n");
        QTest::newRow("leading dot of a text line removed")
            << QByteArray("+OK\r\n..Received\r\nX: y\r\n.\r\n") << QByteArray(".Received\r\nX: y\r\n");
        QTest::newRow("dot inside a line stays")
            << QByteArray("+OK\r\nX: a.b\r\n.\r\n") << QByteArray("X: a.b\r\n");
        QTest::newRow("no lines") << QByteArray("+OK\r\n.\r\n") << QByteArray();
        QTest::newRow("negative reply has none") << QByteArray("-ERR no\r\n") << QByteArray();
        QTest::newRow("status line without CR LF") << QByteArray("+OK") << QByteArray();
        QTest::newRow("bare LF lines come out with CR LF")
            << QByteArray("+OK\nFrom: a\n..x\n\n.\n") << QByteArray("From: a\r\n.x\r\n\r\n");
        QTest::newRow("Shift_JIS bytes pass untouched")
            << QByteArray("+OK\r\nSubject: \x82\xa0\r\n.\r\n") << QByteArray("Subject: \x82\xa0\r\n");
    }

    void body()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, body);

        QCOMPARE(MultiLineBody(reply), body);
        // A whole message on its way to a local file: the same lines, LF-ended.
        QCOMPARE(MultiLineBodyLf(reply), QByteArray(body).replace("\r\n", "\n"));
    }
};

QTEST_GUILESS_MAIN(tst_Pop3Framing)
#include "tst_Pop3Framing.moc"
