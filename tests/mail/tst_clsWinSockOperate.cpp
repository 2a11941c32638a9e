#include "ScriptedPop3Server.h"

#include "TlsTestSeam.h"
#include "app/StatusText.h"
#include "mail/CheckBudget.h"
#include "mail/clsWinSockOperate.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

#include <QScopeGuard>
#include <QTcpServer>
#include <QTest>

using S = ScriptedPop3Server;
using After = ScriptedPop3Server::After;
using Shape = clsWinSockOperate::ReplyShape;

Q_DECLARE_METATYPE(ScriptedPop3Server::Step)
Q_DECLARE_METATYPE(clsWinSockOperate::ReplyShape)

// The session object on a real socket and timer, wired to them the way the
// main window wires its controls.
class tst_clsWinSockOperate : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScriptedPop3Server> server;
    std::unique_ptr<SocketControl> socket;
    std::unique_ptr<TimerControl> timer;
    std::unique_ptr<clsWinSockOperate> session;

    void configure(quint16 port)
    {
        session->WinSock(socket.get());
        session->RemoteHost(QStringLiteral("127.0.0.1"));
        session->RemotePort(QString::number(port));
        session->Timer(timer.get());
        session->TimeOutSecond(3600 * 1000);
    }

private Q_SLOTS:
    void init()
    {
        server = std::make_unique<ScriptedPop3Server>();
        QVERIFY(server->Listen());
        socket = std::make_unique<SocketControl>();
        timer = std::make_unique<TimerControl>();
        session = std::make_unique<clsWinSockOperate>();
        connect(socket.get(), &SocketControl::DataArrival, this, [this] { session->DataArraivalReceiver(); });
        connect(socket.get(), &SocketControl::Error, this,
            [this](const QString& description) { session->ErrorReceiver(description); });
        connect(timer.get(), &TimerControl::Timer, this, [this] { session->TimeOutReceiver(); });
        // Time-outs are stepped: the server's silence is the tick.
        connect(server.get(), &ScriptedPop3Server::Silenced, this, [this] { Q_EMIT timer->Timer(); });
        configure(server->Port());
    }

    void cleanup()
    {
        session.reset();
        timer.reset();
        socket.reset();
        server.reset();
        TlsTestSeam::Reset();
    }

    void connectOutcome_data()
    {
        QTest::addColumn<S::Step>("greeting");
        QTest::addColumn<bool>("waitConnectedOnly");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("received");
        QTest::addColumn<bool>("tls");

        QTest::newRow("greeting arrives") << S::Greeting("+OK hello\r\n") << false << true << "+OK hello\r\n"
                                          << false;
        QTest::newRow("silent server, waiting for the greeting: time-out")
            << S::Greeting("", After::Silence) << false << false << "" << false;
        QTest::newRow("silent server, connection alone is enough")
            << S::Greeting("", After::Silence) << true << true << "" << false;
        QTest::newRow("silent TLS server: a connection without a handshake is not enough")
            << S::Greeting("", After::Silence) << true << false << "" << true;
        QTest::newRow("server hangs up at once")
            << S::Greeting("", After::Close) << false << false << "" << false;
    }

    void connectOutcome()
    {
        QFETCH(S::Step, greeting);
        QFETCH(bool, waitConnectedOnly);
        QFETCH(bool, connected);
        QFETCH(QString, received);
        QFETCH(bool, tls);

        if (tls)
            TlsTestSeam::SetExtraTlsPort(server->Port());
        server->SetDialogue({ greeting });
        QCOMPARE(session->Connect(waitConnectedOnly), connected);
        QCOMPARE(session->GetData(), received);
        QCOMPARE(session->ErrorDescription(), QString());
        QVERIFY(!timer->Enabled());
        QCOMPARE(socket->State() == SocketControl::StateConnected, connected);
    }

    void refusedConnectionKeepsTheReason()
    {
        const quint16 port = server->Port();
        server.reset();
        configure(port);
        QVERIFY(!session->Connect(false));
        QVERIFY(!session->ErrorDescription().isEmpty());
        QVERIFY(!timer->Enabled());
        QCOMPARE(socket->State(), int(SocketControl::StateClosed));
    }

    void waitResults_data()
    {
        QTest::addColumn<S::Step>("answer");
        QTest::addColumn<qint32>("result");
        QTest::addColumn<int>("stateAfter");

        QTest::newRow("reply arrives")
            << S::Exchange("NOOP", "+OK\r\n") << qint32(clsWinSockOperate::ResultArrived)
            << int(SocketControl::StateConnected);
        QTest::newRow("no reply: time-out closes the socket")
            << S::Exchange("NOOP", "", After::Silence) << qint32(clsWinSockOperate::ResultTimedOut)
            << int(SocketControl::StateClosed);
        QTest::newRow("peer hangs up: socket left as the peer left it") << S::Exchange("NOOP", "",
            After::Close) << qint32(clsWinSockOperate::ResultClosed) << int(SocketControl::StateClosing);
    }

    void waitResults()
    {
        QFETCH(S::Step, answer);
        QFETCH(qint32, result);
        QFETCH(int, stateAfter);

        server->SetDialogue({ S::Greeting("+OK\r\n"), answer });
        QVERIFY(session->Connect(false));
        QVERIFY(session->SendData(QStringLiteral("NOOP\r\n"), false));
        QCOMPARE(session->GetData(), QString());
        QCOMPARE(session->WaitArrival(false), result);
        QCOMPARE(socket->State(), stateAfter);
        QVERIFY(!timer->Enabled());
    }

    void sendWaitsOnlyWhenAsked()
    {
        server->SetDialogue({ S::Greeting("+OK\r\n"), S::Exchange("NOOP", "+OK fine\r\n") });
        QVERIFY(session->Connect(false));
        QVERIFY(session->SendData(QStringLiteral("NOOP\r\n"), true));
        QTRY_COMPARE(session->GetData(), QStringLiteral("+OK fine\r\n"));
    }

    void timedOutSessionRefusesLaterWork()
    {
        server->SetDialogue({ S::Greeting("+OK\r\n"), S::Exchange("NOOP", "", After::Silence) });
        QVERIFY(session->Connect(false));
        QVERIFY(session->SendData(QStringLiteral("NOOP\r\n"), true) == false);
        QVERIFY(!session->SendData(QStringLiteral("NOOP\r\n"), false));
        QCOMPARE(session->WaitArrival(true), qint32(clsWinSockOperate::ResultClosed));
    }

    // However the server sends, the waits end when the program ends or the
    // check passes one of its bounds, and nothing more is read after that.
    void waitEndsWhateverTheServerSends_data()
    {
        QTest::addColumn<QByteArray>("stream"); // what the server answers NOOP with
        QTest::addColumn<QString>("ending"); // "UserClose", "deadline", or none
        QTest::addColumn<int>("atReply"); // replies read before the ending (-1: no ending)
        QTest::addColumn<QString>("bound"); // the bound the session names

        // Within the bound of 64 KiB, and far beyond it.
        const QByteArray lines = QByteArray("* OK x\r\n").repeated(7000);
        const QByteArray flood = QByteArray("* OK x\r\n").repeated(200000);
        QTest::newRow("program ends while the server is silent") << QByteArray() << "UserClose" << 0 << "";
        QTest::newRow("program ends while short lines keep coming") << lines << "UserClose" << 3 << "";
        QTest::newRow("lines trickling past the check's time")
            << lines << "deadline" << 3 << QStringLiteral("ｴﾗｰ(ﾁｪｯｸ時間超過)");
        QTest::newRow("lines sent faster than read pass the check's memory bound")
            << flood << "" << -1 << QStringLiteral("ｴﾗｰ(受信ｻｲｽﾞ超過)");
    }

    void waitEndsWhateverTheServerSends()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QString, ending);
        QFETCH(int, atReply);
        QFETCH(QString, bound);

        CheckBudget budget(64 * 1024, {});
        session->Budget(&budget);
        TimerControl deadline;
        session->DeadlineTimer(&deadline);
        const auto detach = qScopeGuard([this] {
            session->DeadlineTimer(nullptr);
            session->Budget(nullptr);
        });
        connect(&deadline, &TimerControl::Timer, this, [this] { session->DeadlineReceiver(); });
        const auto end = [&] {
            if (ending == u"UserClose")
                session->UserClose();
            else if (ending == u"deadline")
                Q_EMIT deadline.Timer();
        };
        // Only the ending may end the silent row, and the flood rows end
        // with a hang-up, not a silence, should the waits read on.
        disconnect(server.get(), &ScriptedPop3Server::Silenced, this, nullptr);
        if (atReply == 0)
            connect(server.get(), &ScriptedPop3Server::LineReceived, this, end);
        server->SetDialogue({ S::Greeting("+OK\r\n"),
            S::Exchange("NOOP", stream, stream.isEmpty() ? After::Silence : After::Close) });
        QVERIFY(session->Connect(false));
        QCOMPARE(session->WaitReply(Shape::SingleLine), qint32(1));
        QVERIFY(session->SendData(QStringLiteral("NOOP\r\n"), false));
        int replies = 0;
        while (session->WaitReply(Shape::SingleLine) == clsWinSockOperate::ResultArrived)
            if (++replies == atReply)
                end();

        if (atReply >= 0)
            QCOMPARE(replies, atReply);
        else
            QVERIFY(replies < stream.count('\n'));
        QCOMPARE(session->BoundPassed() ? StatusText::Of(*session->BoundPassed()) : QString(), bound);
        QCOMPARE(session->ErrorDescription(), QString());
        QVERIFY(!timer->Enabled());
    }

    void replyReadToItsEnd_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<int>("chunkSize");
        QTest::addColumn<Shape>("shape");
        QTest::addColumn<qint32>("result");
        QTest::addColumn<QByteArray>("reply");

        const QByteArray top = "+OK\r\nFrom: a@b\r\n\r\n.\r\n";
        QTest::newRow("single line in two writes")
            << QByteArrayList { "+OK 1 ", "abc\r\n" } << 0 << Shape::SingleLine << qint32(1)
            << QByteArray("+OK 1 abc\r\n");
        QTest::newRow("single line one byte per write")
            << QByteArrayList { "+OK 1 abc\r\n" } << 1 << Shape::SingleLine << qint32(1)
            << QByteArray("+OK 1 abc\r\n");
        QTest::newRow("TOP reply one byte per write")
            << QByteArrayList { top } << 1 << Shape::MultiLine << qint32(1) << top;
        QTest::newRow("TOP status line apart from the headers")
            << QByteArrayList { "+OK\r\n", top.mid(5) } << 0 << Shape::MultiLine << qint32(1) << top;
        QTest::newRow("negative TOP reply is one line")
            << QByteArrayList { "-ERR no\r\n" } << 0 << Shape::MultiLine << qint32(1)
            << QByteArray("-ERR no\r\n");
        QTest::newRow("endless status line")
            << QByteArrayList { QByteArray(9000, 'x') } << 0 << Shape::SingleLine
            << qint32(clsWinSockOperate::ResultTooLong) << QByteArray();
    }

    void replyReadToItsEnd()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(int, chunkSize);
        QFETCH(Shape, shape);
        QFETCH(qint32, result);
        QFETCH(QByteArray, reply);

        server->SetDialogue({ S::Greeting("+OK\r\n"), S::Pieces("TOP 1 0", pieces) });
        server->SetChunkSize(chunkSize);
        QVERIFY(session->Connect(false));
        QCOMPARE(session->WaitReply(Shape::SingleLine), qint32(1));
        QVERIFY(session->SendData(QStringLiteral("TOP 1 0\r\n"), false));
        QCOMPARE(session->WaitReply(shape), result);
        QCOMPARE(session->Reply(), reply);
        QVERIFY(!timer->Enabled());
    }

    void replyThenHangUpStillCounts()
    {
        server->SetDialogue(
            { S::Greeting("+OK\r\n"), S::Exchange("QUIT", "-ERR going away\r\n", After::Close) });
        QVERIFY(session->Connect(false));
        QCOMPARE(session->WaitReply(Shape::SingleLine), qint32(1));
        QVERIFY(session->SendData(QStringLiteral("QUIT\r\n"), false));
        QTRY_VERIFY(server->IsIdle());
        QCOMPARE(session->WaitReply(Shape::SingleLine), qint32(clsWinSockOperate::ResultArrived));
        QCOMPARE(session->Reply(), QByteArray("-ERR going away\r\n"));
        QCOMPARE(session->GetData(), QStringLiteral("-ERR going away\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_clsWinSockOperate)
#include "tst_clsWinSockOperate.moc"
