#include "mail/ImapResponses.h"

#include <QTest>

using namespace ImapResponses;

namespace {

// What every reader finds in a response, a part for each that finds anything,
// so that a row also shows which readers must find nothing.
QByteArray readings(QByteArrayView response)
{
    QByteArrayList parts;
    if (const std::optional<Status> status = ReadStatus(response)) {
        const char* const conditions[] = { "OK", "NO", "BAD", "PREAUTH", "BYE" };
        parts << "STATUS " + (status->tag.isEmpty() ? "*" : status->tag) + '|'
                + conditions[int(status->condition)] + '|' + status->code + '|' + status->text;
    }
    if (IsContinuation(response))
        parts << "CONTINUATION";
    if (const std::optional<quint32> number = CodeNumber(response, "UIDVALIDITY"))
        parts << "UIDVALIDITY " + QByteArray::number(*number);
    if (const std::optional<QByteArrayList> names = Capabilities(response))
        parts << "CAPABILITY " + names->join(' ');
    if (const std::optional<quint32> count = Exists(response))
        parts << "EXISTS " + QByteArray::number(*count);
    if (const std::optional<QList<quint32>> found = SearchResults(response)) {
        parts << "SEARCH";
        for (const quint32 number : *found)
            parts.last() += ' ' + QByteArray::number(number);
    }
    if (const std::optional<Fetch> fetch = ReadFetch(response)) {
        parts << "FETCH " + (fetch->uid ? QByteArray::number(*fetch->uid) : "-") + '|'
                + (fetch->seen ? QByteArray::number(*fetch->seen) : "-") + '|' + fetch->header.value_or("-")
                + (fetch->arrived ? " @" + QByteArray::number(*fetch->arrived) : "");
    }
    return parts.join("; ");
}

} // namespace

class tst_ImapResponses : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void read_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QByteArray>("found");

        const auto row = [](const char* name, const QByteArray& response, const QByteArray& found) {
            QTest::newRow(name) << response + "\r\n" << found;
        };
        row("greeting with a capability code", "* OK [CAPABILITY IMAP4rev1 IDLE] hi",
            "STATUS *|OK|CAPABILITY IMAP4rev1 IDLE|hi; CAPABILITY IMAP4REV1 IDLE");
        row("PREAUTH greeting in lower case", "* preauth hi", "STATUS *|PREAUTH||hi");
        row("sign-in refused", "a2 NO [AUTHENTICATIONFAILED] Bad", "STATUS a2|NO|AUTHENTICATIONFAILED|Bad");
        row("tagged OK without text", "a1 OK", "STATUS a1|OK||");
        row("tagged BYE", "a1 BYE x", "");
        row("code never closed", "* OK [UIDNEXT 5 x", "");
        row("continuation", "+ idling", "CONTINUATION");
        row("literal smuggling a line break into the text", "* BYE {3}\r\na\r\n", "");
        row("largest number32", "* OK [UIDVALIDITY 4294967295] x",
            "STATUS *|OK|UIDVALIDITY 4294967295|x; UIDVALIDITY 4294967295");
        row("number beyond 32 bits", "* OK [UIDVALIDITY 4294967296] x",
            "STATUS *|OK|UIDVALIDITY 4294967296|x");
        row("zero is no nz-number", "* OK [UIDVALIDITY 0] x", "STATUS *|OK|UIDVALIDITY 0|x");
        row("leading garbage", "* OK [UIDVALIDITY +5] x", "STATUS *|OK|UIDVALIDITY +5|x");
        row("digits glued to a word", "* OK [UIDVALIDITY 5x] x", "STATUS *|OK|UIDVALIDITY 5x|x");
        row("empty number", "* OK [UIDVALIDITY ] x", "STATUS *|OK|UIDVALIDITY |x");
        row("another code", "* OK [UIDNEXT 5] x", "STATUS *|OK|UIDNEXT 5|x");
        row("capabilities upper-cased", "* CAPABILITY IMAP4rev1 idle AUTH=plain",
            "CAPABILITY IMAP4REV1 IDLE AUTH=PLAIN");
        row("capability code of a sign-in reply", "a1 OK [CAPABILITY IMAP4rev1 LOGINDISABLED] x",
            "STATUS a1|OK|CAPABILITY IMAP4rev1 LOGINDISABLED|x; CAPABILITY IMAP4REV1 LOGINDISABLED");
        row("no capability names", "* CAPABILITY", "");
        row("empty mailbox", "* 0 EXISTS", "EXISTS 0");
        row("RECENT is no EXISTS", "* 3 RECENT", "");
        row("UIDs found", "* SEARCH 2 84 882", "SEARCH 2 84 882");
        row("nothing found", "* SEARCH", "SEARCH");
        row("nothing found, with a trailing blank", "* SEARCH ", "SEARCH");
        row("word among the UIDs", "* SEARCH 2 x84", "");
        row("header literal, \\seen in lower case among other flags",
            "* 1 FETCH (UID 42 FLAGS (\\Answered \\seen) BODY[HEADER.FIELDS (SUBJECT)] {14}\r\nSubject: "
            "a\r\n\r\n)",
            "FETCH 42|1|Subject: a\r\n\r\n");
        row("quoted header holding escaped quotes and {3}, UID last",
            "* 2 FETCH (BODY[HEADER.FIELDS (\"SUBJECT\" \"]\")] \"S: \\\"{3}\\\"\" FLAGS () UID 7)",
            "FETCH 7|0|S: \"{3}\"");
        row("BODY as NIL", "* 3 FETCH (UID 8 BODY[HEADER] NIL)", "FETCH 8|-|");
        row("nested parentheses in unrequested items",
            "* 4 FETCH (BODYSTRUCTURE ((\"TEXT\" \"PLAIN\" (\"CHARSET\" \"UTF-8\") NIL 1)(\"TEXT\" \"HTML\" "
            "NIL 2) "
            "\"ALTERNATIVE\") MODSEQ (12) UID 9)",
            "FETCH 9|-|-");
        row("INTERNALDATE west of UTC, its day padded with a blank",
            "* 1 FETCH (UID 4 INTERNALDATE \" 7-Jul-1996 02:44:25 -0700\")", "FETCH 4|-|- @836732665");
        row("INTERNALDATE of 31 February", "* 1 FETCH (UID 4 INTERNALDATE \"31-Feb-2026 02:44:25 +0000\")",
            "");
        row("missing close paren", "* 5 FETCH (UID 9 FLAGS (\\Seen)", "");
        row("repeated UID item", "* 6 FETCH (UID 9 UID 10)", "");
        row("literal longer than the response", "* 7 FETCH (BODY[] {50}\r\nab)", "");
    }

    void read()
    {
        QFETCH(QByteArray, response);
        QFETCH(QByteArray, found);
        QCOMPARE(readings(response), found);
    }
};

QTEST_GUILESS_MAIN(tst_ImapResponses)
#include "tst_ImapResponses.moc"
