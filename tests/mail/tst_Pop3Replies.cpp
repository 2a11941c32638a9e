#include "mail/Pop3Replies.h"

#include <QTest>

using namespace Pop3Replies;

class tst_Pop3Replies : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void messageCount_data()
    {
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<qint32>("count"); // -1: no usable count

        QTest::newRow("count and size") << QByteArray("+OK 3 5120") << 3;
        QTest::newRow("empty mailbox") << QByteArray("+OK 0 0") << 0;
        QTest::newRow("count without size") << QByteArray("+OK 7") << 7;
        QTest::newRow("count with trailing text") << QByteArray("+OK 12 4096 messages") << 12;
        QTest::newRow("exactly one million") << QByteArray("+OK 1000000 1") << 1000000;
        QTest::newRow("one more than a million") << QByteArray("+OK 1000001 1") << -1;
        QTest::newRow("beyond 32 bits") << QByteArray("+OK 4294967297 1") << -1;
        QTest::newRow("no second field") << QByteArray("+OK") << -1;
        QTest::newRow("second field empty (two blanks)") << QByteArray("+OK  3 100") << -1;
        QTest::newRow("negative count") << QByteArray("+OK -2 100") << -1;
        QTest::newRow("count that is a word") << QByteArray("+OK maildrop has 2") << -1;
        QTest::newRow("leading digits of a glued field") << QByteArray("+OK 5messages") << 5;
        QTest::newRow("blank after +OK only") << QByteArray("+OK ") << -1;
    }

    void messageCount()
    {
        QFETCH(QByteArray, statusLine);
        QFETCH(qint32, count);

        const std::optional<qint32> got = StatMessageCount(statusLine);
        QCOMPARE(got.value_or(-1), count);
    }

    void identifier_data()
    {
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<QByteArray>("identifier"); // null: refused

        QTest::newRow("usual reply") << QByteArray("+OK 1 abc123") << QByteArray("abc123");
        QTest::newRow("hexadecimal pair of a common server")
            << QByteArray("+OK 2 000000015f1e9a2b") << QByteArray("000000015f1e9a2b");
        QTest::newRow("punctuation within 0x21-0x7E")
            << QByteArray("+OK 3 <a.b@c>!~") << QByteArray("<a.b@c>!~");
        QTest::newRow("200 characters, longer than the usual 70")
            << "+OK 1 " + QByteArray(200, 'z') << QByteArray(200, 'z');
        QTest::newRow("512 bytes") << "+OK 1 " + QByteArray(512, 'z') << QByteArray(512, 'z');
        QTest::newRow("513 bytes") << "+OK 1 " + QByteArray(513, 'z') << QByteArray();
        QTest::newRow("empty identifier") << QByteArray("+OK 1 ") << QByteArray();
        QTest::newRow("no identifier field") << QByteArray("+OK 1") << QByteArray();
        QTest::newRow("no fields") << QByteArray("+OK") << QByteArray();
        QTest::newRow("blank inside") << QByteArray("+OK 1 ab cd") << QByteArray();
        QTest::newRow("trailing blanks of a sloppy server")
            << QByteArray("+OK 1 abc \t ") << QByteArray("abc");
        QTest::newRow("tab") << QByteArray("+OK 1 ab\tcd") << QByteArray();
        QTest::newRow("DEL character") << QByteArray("+OK 1 ab\x7f") << QByteArray();
        QTest::newRow("byte above 0x7E") << QByteArray("+OK 1 ab\x82\xa0") << QByteArray();
        QTest::newRow("NUL byte") << QByteArray("+OK 1 ab\0c", 10) << QByteArray();
        QTest::newRow("CR inside") << QByteArray("+OK 1 ab\rcd") << QByteArray();
    }

    void identifier()
    {
        QFETCH(QByteArray, statusLine);
        QFETCH(QByteArray, identifier);

        const std::optional<QByteArray> got = UidlIdentifier(statusLine);
        QCOMPARE(got.has_value(), !identifier.isNull());
        if (got)
            QCOMPARE(*got, identifier);
    }

    void saslMechanisms_data()
    {
        QTest::addColumn<QByteArray>("capabilities");
        QTest::addColumn<QByteArrayList>("mechanisms");

        QTest::newRow("tag and names in lower case, tab between names")
            << QByteArray("sasl plain\txoauth2\r\n") << QByteArrayList { "PLAIN", "XOAUTH2" };
        QTest::newRow("no SASL line") << QByteArray("TOP\r\nUSER\r\n") << QByteArrayList();
        QTest::newRow("names on lines of other tags")
            << QByteArray("X-SASL XOAUTH2\r\nXOAUTH2\r\nSASL\r\n") << QByteArrayList();
        QTest::newRow("words that are no mechanism names left out") << "SASL XOAUTH2* " + QByteArray(21, 'A')
                + " \x82\xa0 OAUTHBEARER\r\n" << QByteArrayList { "OAUTHBEARER" };
    }

    void saslMechanisms()
    {
        QFETCH(QByteArray, capabilities);
        QFETCH(QByteArrayList, mechanisms);
        QCOMPARE(SaslMechanisms(capabilities), mechanisms);
    }

    void failureReason_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("reason");

        const auto challenge = [](const QByteArray& json) { return "+ " + json.toBase64(); };
        QTest::newRow("status as a JSON number") << challenge(R"({"status":401})") << QStringLiteral("401");
        QTest::newRow("refusal text after -ERR") << QByteArray("-ERR Authentication failure: bad token")
                                                 << QStringLiteral("Authentication failure: bad token");
        QTest::newRow("challenge that is not base64") << QByteArray("+ {not*base64}") << QString();
        QTest::newRow("JSON without status") << challenge(R"({"schemes":"Bearer"})") << QString();
        QTest::newRow("line breaks and escapes dropped from the status")
            << challenge("{\"status\":\"bad\\r\\n\\u001b[2Jtoken\"}") << QStringLiteral("bad[2Jtoken");
        QTest::newRow("status longer than 64 characters cut")
            << challenge(R"({"status":")" + QByteArray(100, 'x') + R"("})") << QString(64, u'x');
        QTest::newRow("+OK is no challenge")
            << "+OK " + QByteArray(R"({"status":"x"})").toBase64() << QString();
    }

    void failureReason()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, reason);
        QCOMPARE(SaslFailureReason(line), reason);
    }
};

QTEST_GUILESS_MAIN(tst_Pop3Replies)
#include "tst_Pop3Replies.moc"
