#include "mail/HeaderFields.h"
#include "mail/SpamVerdict.h"

#include "platform/Cp932.h"

#include <QTest>

class tst_HeaderFields : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void extract_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("subject");

        QTest::newRow("plain message") << QByteArray("Return-Path: <taro@example.jp>\r\n"
                                                     "From: Taro <taro@example.jp>\r\n"
                                                     "To: hanako@example.jp\r\n"
                                                     "Subject: Lunch\r\n"
                                                     "Date: Mon, 7 Dec 2026 19:47:44 +0900\r\n"
                                                     "\r\n")
                                       << " Taro <taro@example.jp>"
                                       << "26/12/07 19:47:44"
                                       << " Lunch";
        QTest::newRow("Japanese sender and subject")
            << QByteArray("From: =?ISO-2022-JP?B?GyRCOzNFREJATzobKEI=?= <taro@example.jp>\r\n"
                          "Subject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=\r\n")
            << u" 山田太郎 <taro@example.jp>"_qs << "" << u" テスト"_qs;
        QTest::newRow("field names in any letter case")
            << QByteArray("FROM: a@example.jp\r\nsubject: hi\r\nDATE: 1 Jan 2027 00:00:00 +0000\r\n")
            << " a@example.jp"
            << "27/01/01 00:00:00"
            << " hi";
        QTest::newRow("no blank after the colon")
            << QByteArray("From:a@example.jp\r\nSubject:hi\r\n") << "a@example.jp"
            << ""
            << "hi";
        QTest::newRow("envelope and resent senders do not count") << QByteArray(
            "X-Envelope-From: bounce@example.jp\r\n"
            "From: real@example.jp\r\n"
            "Resent-From: list@example.jp\r\n") << " real@example.jp"
                                                                  << ""
                                                                  << "";
        QTest::newRow("original subject does not count")
            << QByteArray("Subject: Real\r\nX-Original-Subject: Old\r\n") << ""
            << ""
            << " Real";
        QTest::newRow("subject that mentions from: stays a subject")
            << QByteArray("Subject: Re: from: the boss\r\nFrom: a@example.jp\r\n") << " a@example.jp"
            << ""
            << " Re: from: the boss";
        QTest::newRow("later subject wins") << QByteArray("Subject: first\r\nSubject: second\r\n") << ""
                                            << ""
                                            << " second";
        QTest::newRow("empty From line sets nothing")
            << QByteArray("From: a@example.jp\r\nFrom:\r\n") << " a@example.jp"
            << ""
            << "";
        QTest::newRow("empty Subject line sets nothing") << QByteArray("Subject:\r\n") << ""
                                                         << ""
                                                         << "";
        QTest::newRow("folded plain subject keeps the fold blank")
            << QByteArray("Subject: a very\r\n long subject\r\n") << ""
            << ""
            << " a very long subject";
        QTest::newRow("folded with a tab") << QByteArray("Subject: part one\r\n\tpart two\r\n") << ""
                                           << ""
                                           << " part one\tpart two";
        QTest::newRow("folded three-word ISO-2022-JP subject")
            << QByteArray("Subject: =?ISO-2022-JP?B?GyRCTWg9NSRORGpOYzJxNUQbKEI=?=\r\n"
                          " =?ISO-2022-JP?B?GyRCJE5GfER4SlE5OSRLGyhC?=\r\n"
                          "\t=?ISO-2022-JP?B?GyRCJEQkJCRGJE4kKkNOJGkkOxsoQg==?=\r\n"
                          "From: a@example.jp\r\n")
            << " a@example.jp"
            << "" << u" 来週の定例会議の日程変更についてのお知らせ"_qs;
        QTest::newRow("blank between words on one line stays")
            << QByteArray("Subject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\n")
            << ""
            << "" << u" テスト あ"_qs;
        QTest::newRow("fold after a word before plain text keeps its blank")
            << QByteArray("Subject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=\r\n (2)\r\n") << ""
            << "" << u" テスト (2)"_qs;
        QTest::newRow("folded UTF-8 subject")
            << QByteArray("Subject: =?UTF-8?B?44GT44KT44Gr44Gh44Gv?=\r\n =?UTF-8?B?5LiW55WM?=\r\n") << ""
            << "" << u" こんにちは世界"_qs;
        QTest::newRow("UTF-8 character split across a fold")
            << QByteArray("Subject: =?UTF-8?Q?=E3=81?=\r\n =?UTF-8?Q?=93?=\r\n") << ""
            << "" << u" こ"_qs;
        QTest::newRow("blanks before the fold between words are dropped too")
            << QByteArray("Subject: =?UTF-8?B?44GC?=  \r\n\t =?UTF-8?B?44GE?=\r\n") << ""
            << "" << u" あい"_qs;
        QTest::newRow("Q word before a fold")
            << QByteArray("Subject: =?UTF-8?Q?a_b?=\r\n =?UTF-8?B?44GC?=\r\n") << ""
            << "" << u" a bあ"_qs;
        QTest::newRow("text ending like a word keeps the fold blank")
            << QByteArray("Subject: what?=\r\n =?UTF-8?B?44GC?=\r\n") << ""
            << "" << u" what?= あ"_qs;
        QTest::newRow("word without charset keeps the fold blank")
            << QByteArray("Subject: =??B?44GC?=\r\n =?UTF-8?B?44GC?=\r\n") << ""
            << "" << u" =??B?44GC?= あ"_qs;
        QTest::newRow("blank inside the last word keeps the fold blank")
            << QByteArray("Subject: =?UTF-8?B?44 GC?=\r\n =?UTF-8?B?44GC?=\r\n") << ""
            << "" << u" =?UTF-8?B?44 GC?= あ"_qs;
        QTest::newRow("fold before plain text after a word keeps its blank")
            << QByteArray("Subject: =?UTF-8?B?44GC?=\r\n abc\r\n") << ""
            << "" << u" あ abc"_qs;
        QTest::newRow("folded sender address")
            << QByteArray("From: =?ISO-2022-JP?B?GyRCOzNFREJATzobKEI=?=\r\n"
                          "  <taro@example.jp>\r\n")
            << u" 山田太郎  <taro@example.jp>"_qs << ""
            << "";
        QTest::newRow("body after the blank line is ignored")
            << QByteArray("Subject: real\r\n\r\nSubject: quoted in the body\r\nFrom: x@example.jp\r\n") << ""
            << ""
            << " real";
        QTest::newRow("line feeds alone also end lines")
            << QByteArray("From: a@example.jp\nSubject: hi\n") << " a@example.jp"
            << ""
            << " hi";
        QTest::newRow("continuation before any field is ignored")
            << QByteArray(" stray\r\nSubject: hi\r\n") << ""
            << ""
            << " hi";
        QTest::newRow("empty header block") << QByteArray("") << ""
                                            << ""
                                            << "";
        QTest::newRow("unreadable later Date keeps the earlier one")
            << QByteArray("Date: 7 Dec 2026 08:00:00 +0900\r\nDate: someday\r\n") << ""
            << "26/12/07 08:00:00"
            << "";
        QTest::newRow("unreadable Date only") << QByteArray("Date: someday\r\n") << ""
                                              << ""
                                              << "";
        QTest::newRow("raw ISO-2022-JP subject") << QByteArray("Subject: \x1b$B7oL>%F%9%H\x1b(B\r\n") << ""
                                                 << "" << u" 件名テスト"_qs;
        QTest::newRow("raw JIS with the older kanji and roman escapes")
            << QByteArray("Subject: Re: \x1b$@%F%9%H\x1b(J ok\r\n") << ""
            << "" << u" Re: テスト ok"_qs;
        QTest::newRow("raw UTF-8 subject around an encoded word")
            << u"Subject: 【重要】 =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=\r\n"_qs.toUtf8() << ""
            << "" << u" 【重要】 テスト"_qs;
        QTest::newRow("raw Shift_JIS subject") << Cp932::Encode(u"Subject: お知らせ\r\n") << ""
                                               << "" << u" お知らせ"_qs;
        QTest::newRow("control characters other than tab are not shown")
            << QByteArray("Subject: a\tb\x1b[31m =?UTF-8?B?eAp5?=\x7f\r\n") << ""
            << ""
            << " a\tb[31m xy";
        QTest::newRow("folded Date") << QByteArray("Date: Mon,\r\n 7 Dec 2026 19:47:44 +0900\r\n") << ""
                                     << "26/12/07 19:47:44"
                                     << "";
    }

    void extract()
    {
        QFETCH(QByteArray, header);
        QFETCH(QString, from);
        QFETCH(QString, date);
        QFETCH(QString, subject);
        const NewMailItem fields = ExtractHeaderFields(header);
        QCOMPARE(fields.strFrom, from);
        QCOMPARE(fields.strDate, date);
        QCOMPARE(fields.strSubject, subject);
    }

    // What the server's filter, the subject and the sender say of a message,
    // judged against the program's tags and a user's sender list.
    void spamVerdict_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<bool>("spam");

        const QByteArray plain = "From: Taro <taro@example.jp>\r\nSubject: Lunch\r\n";
        QTest::newRow("plain message") << plain << false;
        QTest::newRow("SpamAssassin flag") << plain + "X-Spam-Flag: YES\r\n" << true;
        QTest::newRow("SpamAssassin flag saying no") << plain + "X-Spam-Flag: NO\r\n" << false;
        QTest::newRow("SpamAssassin status yes with its score") << plain + "X-Spam-Status: Yes, score=9.1\r\n"
                                                                << true;
        QTest::newRow("SpamAssassin status no, yes only later in the value") << plain
                + "X-Spam-Status: No, score=1.0 tests=yes\r\n" << false;
        QTest::newRow("rspamd verdict in lower case") << plain + "x-spam: true\r\n" << true;
        QTest::newRow("hosted filter result") << plain + "X-Spam-Result: SPAM\r\n" << true;
        QTest::newRow("provider filter class") << plain + "X-MD-Class: spam\r\n" << true;
        QTest::newRow("verdict folded onto the next line") << plain + "X-Spam-Flag:\r\n YES\r\n" << true;
        QTest::newRow("verdict word with more letters") << plain + "X-Spam-Flag: YESTERDAY\r\n" << false;
        QTest::newRow("similar field name") << plain + "X-Spam-Flagged: YES\r\n" << false;
        QTest::newRow("verdict line without a colon") << plain + "X-Spam-Flag YES\r\n" << false;
        QTest::newRow("verdict in the body, after the empty line") << plain + "\r\nX-Spam-Flag: YES\r\n"
                                                                   << false;
        QTest::newRow("provider tag in front of the subject")
            << QByteArray("From: a@example.com\r\nSubject: [meiwaku] Win\r\n") << true;
        QTest::newRow("tag in another letter case") << QByteArray("Subject: [spam] Win\r\n") << true;
        QTest::newRow("encoded Japanese tag 【迷惑メール】")
            << QByteArray("Subject: =?UTF-8?B?44CQ6L+35oOR44Oh44O844Or44CR5qGI5YaF?=\r\n") << true;
        QTest::newRow("tag inside a reply's subject") << QByteArray("Subject: Re: [SPAM] Win\r\n") << false;
        QTest::newRow("listed domain") << QByteArray("From: Shop <news@ads.example>\r\n") << true;
        QTest::newRow("subdomain of a listed domain")
            << QByteArray("From: news@mail.ads.example\r\n") << true;
        QTest::newRow("domain that only ends like a listed one")
            << QByteArray("From: news@badads.example\r\n") << false;
        QTest::newRow("listed address, display name with brackets")
            << QByteArray("From: \"<x>\" <Promo@Shop.example.jp>\r\n") << true;
        QTest::newRow("other address of a listed one's domain")
            << QByteArray("From: info@shop.example.jp\r\n") << false;
        QTest::newRow("sender without an at sign") << QByteArray("From: ads.example\r\n") << false;
    }

    void spamVerdict()
    {
        QFETCH(QByteArray, header);
        QFETCH(bool, spam);
        const SpamVerdict::Lists lists { SpamVerdict::DefaultTags(),
            { QStringLiteral("ads.example"), QStringLiteral(" promo@shop.example.jp ") } };
        QCOMPARE(SpamVerdict::IsSpam(header, ExtractHeaderFields(header), lists), spam);
    }

    void formatDate_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");

        QTest::newRow("weekday, seconds and numeric zone") << " Mon, 7 Dec 2026 19:47:44 +0900"
                                                           << "26/12/07 19:47:44";
        QTest::newRow("no weekday") << " 07 Dec 2026 19:47:44 +0900"
                                    << "26/12/07 19:47:44";
        QTest::newRow("weekday without comma") << " Mon 7 Dec 2026 19:47:44 +0900"
                                               << "26/12/07 19:47:44";
        QTest::newRow("zone is cut off, time not converted") << " Tue, 1 Dec 2026 23:59:59 -0800"
                                                             << "26/12/01 23:59:59";
        QTest::newRow("named zone with comment") << " Tue, 1 Dec 2026 09:05:03 +0000 (UTC)"
                                                 << "26/12/01 09:05:03";
        QTest::newRow("comment with a colon") << " 1 Dec 2026 09:05:03 +0900 (JST: Tokyo)"
                                              << "26/12/01 09:05:03";
        QTest::newRow("obsolete zone name") << " Fri, 13 Mar 2026 12:00:00 GMT"
                                            << "26/03/13 12:00:00";
        QTest::newRow("no seconds") << " Mon, 07 Dec 2026 19:47 +0900"
                                    << "26/12/07 19:47:00";
        QTest::newRow("two-digit year") << " Mon, 07 Dec 26 19:47:44 +0900"
                                        << "26/12/07 19:47:44";
        QTest::newRow("two-digit year of the last century") << " 31 Dec 99 23:59:59 +0900"
                                                            << "99/12/31 23:59:59";
        QTest::newRow("leap day of 2000 written 00") << " 29 Feb 00 12:00:00 +0000"
                                                     << "00/02/29 12:00:00";
        QTest::newRow("leap day in a common year") << " 29 Feb 2027 12:00:00 +0000"
                                                   << "";
        QTest::newRow("month in capitals") << " 7 DEC 2026 19:47:44 +0900"
                                           << "26/12/07 19:47:44";
        QTest::newRow("single-digit hour") << " 7 Dec 2026 9:05:00 +0900"
                                           << "26/12/07 09:05:00";
        QTest::newRow("unknown month") << " 7 Foo 2026 19:47:44 +0900"
                                       << "";
        QTest::newRow("day 32") << " 32 Dec 2026 19:47:44 +0900"
                                << "";
        QTest::newRow("hour 24") << " 7 Dec 2026 24:00:00 +0900"
                                 << "";
        QTest::newRow("minute 60") << " 7 Dec 2026 12:60:00 +0900"
                                   << "";
        QTest::newRow("three-digit year") << " 7 Dec 126 19:47:44 +0900"
                                          << "";
        QTest::newRow("ISO 8601 form is not a mail date") << " 2026-12-07T19:47:44+09:00"
                                                          << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("time without date") << " 19:47:44"
                                           << "";
        QTest::newRow("weekday and a megabyte of blanks without a comma")
            << QStringLiteral(" Tue") + QString(1024 * 1024, u' ') << "";
        QTest::newRow("time with too many parts") << " 7 Dec 2026 19:47:44:10 +0900"
                                                  << "";
    }

    void formatDate()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QCOMPARE(FormatHeaderDate(value), expected);
    }
};

QTEST_GUILESS_MAIN(tst_HeaderFields)
#include "tst_HeaderFields.moc"
