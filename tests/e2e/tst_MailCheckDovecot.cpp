// A real check against a real POP3 server: Dovecot on loopback, messages made
// by Python's email package, the mail engine unchanged.

#include "DovecotFixture.h"
#include "FakeMailCheckHost.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "mail/MailChecker.h"
#include "mail/SpamMaildir.h"
#include "platform/TimerControl.h"

#include <QFile>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// One message as a mailer would write it, and what the arrival window must show for it.
struct SampleMessage {
    const char* caseName;
    const char* charset;
    QString fromName;
    QString fromAddr;
    QString subject;
    const char* dateHeader; // nullptr: the message has no Date header
    QString shownDate;
};

// Delivered before the first check, in this order.
const QList<SampleMessage>& firstDelivery()
{
    static const QList<SampleMessage> messages {
        { "ISO-2022-JP sender and subject", "iso-2022-jp", u"山田 花子"_qs, u"hanako@example.jp"_qs,
            u"会議のお知らせ"_qs, "Tue, 15 Apr 2003 10:20:30 +0900", u"03/04/15 10:20:30"_qs },
        { "folded four-word ISO-2022-JP subject", "iso-2022-jp", u"鈴木"_qs, u"suzuki@example.ne.jp"_qs,
            u"長いお知らせの件名は途中で折り返されて複数の符号化語になりますので注意してください、よろしくお願いします"_qs,
            "Mon, 7 Dec 2026 09:05:03 +0900", u"26/12/07 09:05:03"_qs },
        { "UTF-8 sender and subject, date without weekday", "utf-8", u"佐藤 次郎"_qs, u"jiro@example.com"_qs,
            u"【お知らせ】メンテナンスのご案内"_qs, "7 Dec 2026 21:30:00 +0000", u"26/12/07 21:30:00"_qs },
        { "plain ASCII message with a folded subject", "us-ascii", u"Build Robot"_qs, u"robot@example.org"_qs,
            u"Nightly build report: all tests passed on every machine of the farm tonight, no flaky ones"_qs,
            "Sun, 06 Dec 2026 23:59:59 -0800", u"26/12/06 23:59:59"_qs },
        { "message without a Date header", "iso-2022-jp", u"カタカナ商会"_qs, u"kana@example.jp"_qs,
            u"日付のないメール"_qs, nullptr, QString() },
    };
    return messages;
}

// Delivered between the first and the second check.
const SampleMessage& lateDelivery()
{
    static const SampleMessage message { "late UTF-8 message", "utf-8", u"田中 一郎"_qs,
        u"ichiro@example.co.jp"_qs, u"追加のお知らせ"_qs, "Mon, 7 Dec 2026 12:00:00 +0900",
        u"26/12/07 12:00:00"_qs };
    return message;
}

QJsonObject toJson(const SampleMessage& message)
{
    return QJsonObject { { QStringLiteral("charset"), QString::fromLatin1(message.charset) },
        { QStringLiteral("fromName"), message.fromName }, { QStringLiteral("fromAddr"), message.fromAddr },
        { QStringLiteral("subject"), message.subject },
        { QStringLiteral("date"),
            message.dateHeader ? QJsonValue(QString::fromLatin1(message.dateHeader))
                               : QJsonValue(QJsonValue::Null) } };
}

// The header value keeps the blank after the field's colon.
QString shownFrom(const SampleMessage& message)
{
    return u' ' + message.fromName + u" <"_qs + message.fromAddr + u'>';
}

QString shownSubject(const SampleMessage& message) { return u' ' + message.subject; }

// What the arrival window must be told for these messages, in order.
QStringList announcementsOf(const QList<SampleMessage>& messages)
{
    if (messages.isEmpty())
        return {};
    QStringList calls { QStringLiteral("RemoveMail 0") };
    for (const SampleMessage& message : messages)
        calls << QStringLiteral("MailArraival 0|%1|%2|%3")
                     .arg(shownFrom(message), message.shownDate, shownSubject(message));
    calls << QStringLiteral("ShowForm");
    return calls;
}

} // namespace

class tst_MailCheckDovecot : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void firstCheckAnnouncesEveryMessage_data();
    void firstCheckAnnouncesEveryMessage();
    void firstCheckStoresTheServerIdentifiers();
    void secondCheckAnnouncesOnlyTheLateDelivery();
    void refusedCheckChangesNothing_data();
    void refusedCheckChangesNothing();
    void checkWithoutDeliveryAnnouncesNothing();
    void checkAfterAnotherClientDeletedMailAnnouncesNothing();
    void spamSkippedThenDeletedWithACopyKept();
    void cleanupTestCase();

private:
    void runCheck();
    QString lastStatus() const { return m_host.StatusHistory(0).value(m_host.StatusHistory(0).size() - 1); }

    DovecotFixture m_server;
    FakeMailCheckHost m_host;
    std::unique_ptr<MailChecker> m_checker;
};

void tst_MailCheckDovecot::runCheck()
{
    m_host.arrival.calls.clear();
    m_host.trayPictures.clear();
    m_host.FindRow(0)->statusHistory.clear();
    m_checker->MailCheck(0);
    QVERIFY(!m_checker->IsRunning());
}

void tst_MailCheckDovecot::initTestCase()
{
    if (!m_server.start()) {
        if (!m_server.skipReason().isEmpty())
            QSKIP(qPrintable(u"no private Dovecot here: "_qs + m_server.skipReason()));
        QFAIL(qPrintable(m_server.error()));
    }
    QJsonArray messages;
    for (const SampleMessage& message : firstDelivery())
        messages << toJson(message);
    QVERIFY2(m_server.deliverMessages(messages), qPrintable(m_server.error()));

    SetOptionDefaults();
    CommonSettings.RecheckMailChecked = true;
    Accounts.clear();
    AccountEntry account;
    account.UserTitle = QStringLiteral("Dovecot");
    account.PopServer = DovecotFixture::host();
    account.PopPort = m_server.port();
    account.PopAccount = DovecotFixture::user();
    account.PopPasswd = DovecotFixture::password();
    account.CheckInterval = 1;
    account.Enabled = true;
    // A seen list from an earlier mailbox: with every message announced it must simply be replaced.
    account.UIDL = QStringList { QStringLiteral("stale-identifier") };
    Accounts.push_back(account);

    m_host.AddRow(0, true, QStringLiteral("1"));
    m_checker = std::make_unique<MailChecker>(m_host);
    m_host.Watch(*m_checker);
    // Checks run here one at a time, never from the minute tick.
    m_checker->tmrMailCheck().setEnabled(false);

    runCheck();
}

void tst_MailCheckDovecot::firstCheckAnnouncesEveryMessage_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("announcement");
    const QStringList announcements = announcementsOf(firstDelivery());
    for (int i = 0; i < firstDelivery().size(); ++i)
        QTest::newRow(firstDelivery().at(i).caseName) << i << announcements.at(i + 1);
}

void tst_MailCheckDovecot::firstCheckAnnouncesEveryMessage()
{
    QFETCH(int, index);
    QFETCH(QString, announcement);
    QCOMPARE(m_host.arrival.calls.size(), firstDelivery().size() + 2);
    QCOMPARE(m_host.arrival.calls.at(index + 1), announcement);
}

void tst_MailCheckDovecot::firstCheckStoresTheServerIdentifiers()
{
    QCOMPARE(m_host.arrival.calls, announcementsOf(firstDelivery()));
    QCOMPARE(m_host.StatusHistory(0), (QStringList { u"ﾒｰﾙﾁｪｯｸ中"_qs, u"成功(新着5件)"_qs }));
    QCOMPARE(m_host.trayPictures, (QList<int> { 2, 1 }));
    const QStringList onServer = m_server.serverUidls();
    QVERIFY2(!onServer.isEmpty(), qPrintable(m_server.error()));
    QCOMPARE(onServer.size(), firstDelivery().size());
    QCOMPARE(Accounts.at(0).UIDL, onServer);
}

void tst_MailCheckDovecot::secondCheckAnnouncesOnlyTheLateDelivery()
{
    const QStringList seenBefore = Accounts.at(0).UIDL;
    QVERIFY2(m_server.deliverMessages(QJsonArray { toJson(lateDelivery()) }), qPrintable(m_server.error()));
    CommonSettings.RecheckMailChecked = false;

    runCheck();

    QCOMPARE(m_host.arrival.calls, announcementsOf({ lateDelivery() }));
    QCOMPARE(lastStatus(), u"成功(新着1件)"_qs);
    const QStringList onServer = m_server.serverUidls();
    QCOMPARE(onServer.size(), firstDelivery().size() + 1);
    QCOMPARE(Accounts.at(0).UIDL, onServer);
    QCOMPARE(onServer.mid(0, seenBefore.size()), seenBefore);
}

void tst_MailCheckDovecot::refusedCheckChangesNothing_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("serverListens");
    QTest::addColumn<QString>("status"); // empty: any connection error text
    QTest::newRow("wrong password") << DovecotFixture::user() << u"not-the-password"_qs << true
                                    << u"ｴﾗｰ(PASSWD ｴﾗｰ)"_qs;
    // Dovecot accepts any name at USER and refuses only at PASS.
    QTest::newRow("user unknown to the server")
        << u"hanako"_qs << DovecotFixture::password() << true << u"ｴﾗｰ(PASSWD ｴﾗｰ)"_qs;
    QTest::newRow("nothing listens on the port")
        << DovecotFixture::user() << DovecotFixture::password() << false << QString();
}

// A refused check must leave the seen list and the arrival window alone, and
// the next check (the test after this one) must work again.
void tst_MailCheckDovecot::refusedCheckChangesNothing()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, serverListens);
    QFETCH(QString, status);
    AccountEntry& account = Accounts.at(0);
    const AccountEntry before = account;
    account.PopAccount = user;
    account.PopPasswd = password;
    if (!serverListens) {
        // A port that was free a moment ago: nothing answers there.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        account.PopPort = probe.serverPort();
    }
    CommonSettings.RecheckMailChecked = true;

    runCheck();
    const QStringList seenAfter = account.UIDL;
    account = before;

    QCOMPARE(m_host.arrival.calls, QStringList());
    QCOMPARE(seenAfter, before.UIDL);
    QCOMPARE(m_host.trayPictures, (QList<int> { 2, 3 }));
    if (status.isEmpty()) {
        QVERIFY2(
            lastStatus().startsWith(u"ｴﾗｰ("_qs) && lastStatus().endsWith(u')'), qPrintable(lastStatus()));
        QVERIFY(lastStatus().size() > 5);
    } else {
        QCOMPARE(lastStatus(), status);
    }
}

void tst_MailCheckDovecot::checkWithoutDeliveryAnnouncesNothing()
{
    const QStringList seenBefore = Accounts.at(0).UIDL;
    CommonSettings.RecheckMailChecked = false;

    runCheck();

    QCOMPARE(m_host.arrival.calls, QStringList());
    QCOMPARE(lastStatus(), u"成功(新着0件)"_qs);
    QCOMPARE(Accounts.at(0).UIDL, seenBefore);
}

// The server renumbers the messages; only identifiers may decide what is new.
void tst_MailCheckDovecot::checkAfterAnotherClientDeletedMailAnnouncesNothing()
{
    const QStringList seenBefore = Accounts.at(0).UIDL;
    QVERIFY2(m_server.deleteMessage(1), qPrintable(m_server.error()));
    CommonSettings.RecheckMailChecked = false;

    runCheck();

    QCOMPARE(m_host.arrival.calls, QStringList());
    QCOMPARE(lastStatus(), u"成功(新着0件)"_qs);
    QCOMPARE(Accounts.at(0).UIDL, seenBefore.mid(1));
    QCOMPARE(Accounts.at(0).UIDL, m_server.serverUidls());
}

// A plain message, one a filter flagged and one a provider tagged: detection
// announces the first alone, and deletion leaves it alone on the server, with
// the two others in the local mailbox as the server held them.
void tst_MailCheckDovecot::spamSkippedThenDeletedWithACopyKept()
{
    const SampleMessage plain { "plain", "utf-8", u"田中 一郎"_qs, u"ichiro@example.co.jp"_qs,
        u"打ち合わせ"_qs, "Tue, 8 Dec 2026 09:00:00 +0900", u"26/12/08 09:00:00"_qs };
    QJsonObject flagged = toJson(plain);
    flagged[u"subject"_qs] = u"ご当選おめでとうございます"_qs;
    flagged[u"headers"_qs] = QJsonObject { { u"X-Spam-Flag"_qs, u"YES"_qs } };
    QJsonObject tagged = toJson(plain);
    tagged[u"subject"_qs] = u"[meiwaku] 未公開株のご案内"_qs;
    QStringList made;
    QVERIFY2(
        m_server.deliverMessages({ toJson(plain), flagged, tagged }, &made), qPrintable(m_server.error()));
    const QStringList onServerBefore = m_server.serverUidls();
    const QStringList seenBefore = Accounts.at(0).UIDL;
    QTemporaryDir folder;
    m_checker->SetSpamFolder(folder.path());
    CommonSettings.RecheckMailChecked = false;
    CommonSettings.SpamCheck = true;

    runCheck();
    QCOMPARE(m_host.arrival.calls, announcementsOf({ plain }));
    QCOMPARE(Accounts.at(0).UIDL, onServerBefore);

    // The same three judged again, now to be deleted.
    Accounts[0].UIDL = seenBefore;
    CommonSettings.SpamDelete = true;
    runCheck();
    CommonSettings.SpamCheck = CommonSettings.SpamDelete = false;

    QCOMPARE(lastStatus(), u"成功(新着1件)"_qs);
    QCOMPARE(m_server.serverUidls(), onServerBefore.mid(0, onServerBefore.size() - 2));
    const QList<SpamMaildir::Copy> copies = SpamMaildir(folder.path()).Copies();
    QCOMPARE(copies.size(), 2);
    QStringList keptBytes;
    for (const SpamMaildir::Copy& copy : copies) {
        QVERIFY(copy.deletedOnServer);
        QFile file(folder.filePath(u"new/"_qs + copy.name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        keptBytes << QString::fromLatin1(file.readAll());
    }
    QStringList madeBytes;
    for (const QString& path : made.mid(1)) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        madeBytes << QString::fromLatin1(file.readAll());
    }
    keptBytes.sort();
    madeBytes.sort();
    QCOMPARE(keptBytes, madeBytes);
}

void tst_MailCheckDovecot::cleanupTestCase()
{
    m_checker.reset();
    m_server.stop();
}

QTEST_GUILESS_MAIN(tst_MailCheckDovecot)
#include "tst_MailCheckDovecot.moc"
