#include "mail/ImapResponses.h"

#include <QTest>

using namespace ImapResponses;

namespace {

// -1 for no number, which no number32 is.
qint64 orNone(std::optional<quint32> number) { return number ? qint64(*number) : -1; }

} // namespace

class tst_ImapResponses : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void status_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<int>("condition"); // -1: no status response
        QTest::addColumn<QByteArray>("tag");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("text");

        QTest::newRow("greeting with a capability code")
            << QByteArray("* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n") << int(Condition::Ok) << QByteArray()
            << QByteArray("CAPABILITY IMAP4rev1 IDLE") << QByteArray("ready");
        QTest::newRow("PREAUTH greeting in lower case")
            << QByteArray("* preauth hi\r\n") << int(Condition::PreAuth) << QByteArray() << QByteArray()
            << QByteArray("hi");
        QTest::newRow("sign-in refused")
            << QByteArray("a2 NO [AUTHENTICATIONFAILED] Bad\r\n") << int(Condition::No) << QByteArray("a2")
            << QByteArray("AUTHENTICATIONFAILED") << QByteArray("Bad");
        QTest::newRow("tagged OK without text") << QByteArray("a1 OK\r\n") << int(Condition::Ok)
                                                << QByteArray("a1") << QByteArray() << QByteArray();
        QTest::newRow("tagged BYE") << QByteArray("a1 BYE x\r\n") << -1 << QByteArray() << QByteArray()
                                    << QByteArray();
        QTest::newRow("code never closed")
            << QByteArray("* OK [UIDNEXT 5 x\r\n") << -1 << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("continuation")
            << QByteArray("+ OK\r\n") << -1 << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("literal smuggling a line break into the text")
            << QByteArray("* BYE {3}\r\na\r\n\r\n") << -1 << QByteArray() << QByteArray() << QByteArray();
    }

    void status()
    {
        QFETCH(QByteArray, response);
        QFETCH(int, condition);
        QFETCH(QByteArray, tag);
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, text);

        const std::optional<Status> got = ReadStatus(response);
        QCOMPARE(got.has_value(), condition >= 0);
        if (!got)
            return;
        QCOMPARE(int(got->condition), condition);
        QCOMPARE(got->tag, tag);
        QCOMPARE(got->code, code);
        QCOMPARE(got->text, text);
    }

    void codeNumber_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<qint64>("number"); // -1: none

        QTest::newRow("largest number32")
            << QByteArray("* OK [UIDVALIDITY 4294967295] x\r\n") << 4294967295LL;
        QTest::newRow("number beyond 32 bits") << QByteArray("* OK [UIDVALIDITY 4294967296] x\r\n") << -1LL;
        QTest::newRow("zero is no nz-number") << QByteArray("* OK [UIDVALIDITY 0] x\r\n") << -1LL;
        QTest::newRow("leading garbage") << QByteArray("* OK [UIDVALIDITY +5] x\r\n") << -1LL;
        QTest::newRow("digits glued to a word") << QByteArray("* OK [UIDVALIDITY 5x] x\r\n") << -1LL;
        QTest::newRow("empty number") << QByteArray("* OK [UIDVALIDITY ] x\r\n") << -1LL;
        QTest::newRow("another code") << QByteArray("* OK [UIDNEXT 5] x\r\n") << -1LL;
    }

    void codeNumber()
    {
        QFETCH(QByteArray, response);
        QFETCH(qint64, number);
        QCOMPARE(orNone(CodeNumber(response, "UIDVALIDITY")), number);
    }

    void capabilities_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QByteArrayList>("names"); // empty: none

        QTest::newRow("names upper-cased") << QByteArray("* CAPABILITY IMAP4rev1 idle AUTH=plain\r\n")
                                           << QByteArrayList { "IMAP4REV1", "IDLE", "AUTH=PLAIN" };
        QTest::newRow("code of a sign-in reply")
            << QByteArray("a1 OK [CAPABILITY IMAP4rev1 LOGINDISABLED] x\r\n")
            << QByteArrayList { "IMAP4REV1", "LOGINDISABLED" };
        QTest::newRow("no names") << QByteArray("* CAPABILITY\r\n") << QByteArrayList();
        QTest::newRow("status without the code") << QByteArray("* OK [ALERT] x\r\n") << QByteArrayList();
    }

    void capabilities()
    {
        QFETCH(QByteArray, response);
        QFETCH(QByteArrayList, names);
        QCOMPARE(Capabilities(response).value_or(QByteArrayList()), names);
    }

    void counts_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<qint64>("exists"); // -1: none
        QTest::addColumn<QList<quint32>>("found"); // {0}: no search result

        const QList<quint32> none { 0 };
        QTest::newRow("empty mailbox") << QByteArray("* 0 EXISTS\r\n") << 0LL << none;
        QTest::newRow("RECENT is no EXISTS") << QByteArray("* 3 RECENT\r\n") << -1LL << none;
        QTest::newRow("UIDs found") << QByteArray("* SEARCH 2 84 882\r\n") << -1LL
                                    << QList<quint32> { 2, 84, 882 };
        QTest::newRow("nothing found") << QByteArray("* SEARCH\r\n") << -1LL << QList<quint32>();
        QTest::newRow("word among the UIDs") << QByteArray("* SEARCH 2 x84\r\n") << -1LL << none;
    }

    void counts()
    {
        QFETCH(QByteArray, response);
        QFETCH(qint64, exists);
        QFETCH(QList<quint32>, found);
        QCOMPARE(orNone(Exists(response)), exists);
        QCOMPARE(SearchResults(response).value_or(QList<quint32> { 0 }), found);
    }

    void fetch_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("uid"); // -1: none
        QTest::addColumn<int>("seen"); // -1: no FLAGS
        QTest::addColumn<QByteArray>("header"); // null: no BODY[...]

        QTest::newRow("header literal, \\seen in lower case among other flags") << QByteArray(
            "* 1 FETCH (UID 42 FLAGS (\\Answered \\seen) BODY[HEADER.FIELDS (FROM SUBJECT)] "
            "{14}\r\nSubject: a\r\n\r\n)\r\n") << true << 42LL << 1 << QByteArray("Subject: a\r\n\r\n");
        QTest::newRow("quoted header holding escaped quotes and {3}, UID last") << QByteArray(
            "* 2 FETCH (BODY[HEADER.FIELDS (\"SUBJECT\" \"]\")] \"S: \\\"{3}\\\"\" FLAGS () UID 7)\r\n")
                                                                                << true << 7LL << 0
                                                                                << QByteArray("S: \"{3}\"");
        QTest::newRow("BODY as NIL") << QByteArray("* 3 FETCH (UID 8 BODY[HEADER] NIL)\r\n") << true << 8LL
                                     << -1 << QByteArray("");
        QTest::newRow("nested parentheses in unrequested items")
            << QByteArray("* 4 FETCH (BODYSTRUCTURE ((\"TEXT\" \"PLAIN\" (\"CHARSET\" \"UTF-8\") NIL 1)"
                          "(\"TEXT\" \"HTML\" NIL 2) \"ALTERNATIVE\") MODSEQ (12) UID 9)\r\n")
            << true << 9LL << -1 << QByteArray();
        QTest::newRow("missing close paren")
            << QByteArray("* 5 FETCH (UID 9 FLAGS (\\Seen)\r\n") << false << -1LL << -1 << QByteArray();
        QTest::newRow("repeated UID item")
            << QByteArray("* 6 FETCH (UID 9 UID 10)\r\n") << false << -1LL << -1 << QByteArray();
        QTest::newRow("literal longer than the response")
            << QByteArray("* 7 FETCH (BODY[] {50}\r\nab)\r\n") << false << -1LL << -1 << QByteArray();
    }

    void fetch()
    {
        QFETCH(QByteArray, response);
        QFETCH(bool, valid);
        QFETCH(qint64, uid);
        QFETCH(int, seen);
        QFETCH(QByteArray, header);

        const std::optional<Fetch> got = ReadFetch(response);
        QCOMPARE(got.has_value(), valid);
        if (!got)
            return;
        QCOMPARE(orNone(got->uid), uid);
        QCOMPARE(got->seen ? int(*got->seen) : -1, seen);
        QCOMPARE(got->header.has_value(), !header.isNull());
        QCOMPARE(got->header.value_or(QByteArray()), header);
    }
};

QTEST_GUILESS_MAIN(tst_ImapResponses)
#include "tst_ImapResponses.moc"
