#include "mail/ImapFraming.h"

#include <QTest>

using namespace ImapFraming;

Q_DECLARE_METATYPE(ImapFraming::FrameState)

class tst_ImapFraming : public QObject {
    Q_OBJECT

    static constexpr qsizetype kMaxSize = 1024 * 1024;

private Q_SLOTS:
    void scan_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<FrameState>("state");
        QTest::addColumn<qsizetype>("length");

        const auto row = [](const char* name, const QByteArray& buffer, FrameState state,
                             qsizetype length = 0) { QTest::newRow(name) << buffer << state << length; };
        const char fetch[] = "* 1 FETCH (BODY[HEADER] {8}\r\nA:\0b\r\n\r\n)\r\n";
        const QByteArray header(fetch, sizeof fetch - 1);
        const QByteArray bigLiteral = " A {60000}\r\n" + QByteArray(60000, 'x');
        row("tagged reply, next one behind it", "a1 OK done\r\n* 2 EXISTS\r\n", FrameState::Complete, 12);
        row("header literal holding CR LF and NUL", header + "a1 OK\r\n", FrameState::Complete,
            header.size());
        row("literal cut short", header.first(33), FrameState::Incomplete);
        row("literal announcing gigabytes", "* 1 FETCH (BODY[] {4294967296}\r\n", FrameState::TooLarge);
        row("literal size beyond 64 bits", "* 1 FETCH (BODY[] {184467440737095516170}\r\n",
            FrameState::TooLarge);
        row("literals piling up beyond the bound", "* 1 FETCH (" + bigLiteral.repeated(18),
            FrameState::TooLarge);
        row("non-synchronising literal {n+}", "* 1 FETCH (BODY[] {2+}\r\nab)\r\n", FrameState::Complete, 29);
        row("{n} inside a quoted string is no literal", "* 1 FETCH (BODY[] \"a {3}\")\r\nxyz",
            FrameState::Complete, 28);
        row("NUL byte inside a line", QByteArray("* OK \0hi\r\n", 10), FrameState::Malformed);
        row("bare LF", "* OK hi\n", FrameState::Malformed);
        row("longest line", QByteArray(MaxLine - 2, 'x') + "\r\n", FrameState::Complete, MaxLine);
        row("one byte over the longest line", QByteArray(MaxLine - 1, 'x') + "\r\n", FrameState::TooLarge);
        const QByteArray unread = "* SEARCH" + QByteArray(" 1234567").repeated(40000) + "\r\n";
        row("SEARCH answer of a neglected mailbox, beyond the longest line", unread, FrameState::Complete,
            unread.size());
        row("SEARCH answer beyond the response's bound", "* SEARCH" + QByteArray(" 1234567").repeated(140000),
            FrameState::TooLarge);
    }

    void scan()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(FrameState, state);
        QFETCH(qsizetype, length);

        const Frame whole = ScanResponse(buffer, kMaxSize);
        QCOMPARE(whole.state, state);
        QCOMPARE(whole.length, length);
        // Fed byte by byte, each scan carrying on from the last, it frames the same.
        Frame fed;
        for (qsizetype end = 1; end <= buffer.size() && fed.state == FrameState::Incomplete; ++end)
            fed = ScanResponse(QByteArrayView(buffer).first(end), kMaxSize, fed);
        QCOMPARE(fed.state, state);
        QCOMPARE(fed.length, length);
    }

    void astring_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("literal"); // empty: none

        QTest::newRow("password that is one word")
            << u"secret"_qs << QByteArray("\"secret\"") << QByteArray();
        QTest::newRow("quote and backslash escaped")
            << u"pa\"ss\\word"_qs << QByteArray("\"pa\\\"ss\\\\word\"") << QByteArray();
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
        QCOMPARE(got.literal.value_or(QByteArray()), literal);
    }
};

QTEST_GUILESS_MAIN(tst_ImapFraming)
#include "tst_ImapFraming.moc"
