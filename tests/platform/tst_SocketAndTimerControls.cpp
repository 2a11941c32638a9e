#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class tst_SocketAndTimerControls : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stateThroughAConnection()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        SocketControl socket;
        QCOMPARE(socket.State(), int(SocketControl::StateClosed));
        QVERIFY(!socket.SendData(QStringLiteral("early\r\n")));

        socket.setRemoteHost(QStringLiteral("127.0.0.1"));
        socket.setRemotePort(server.serverPort());
        QVERIFY(socket.Connect());
        QVERIFY(socket.State() == SocketControl::StateResolvingHost
            || socket.State() == SocketControl::StateConnecting);
        QTRY_COMPARE(socket.State(), int(SocketControl::StateConnected));
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket* peer = server.nextPendingConnection();

        QSignalSpy arrivals(&socket, &SocketControl::DataArrival);
        peer->write("+OK \x82\xa0\r\n");
        peer->flush();
        QTRY_VERIFY(!arrivals.isEmpty());
        QCOMPARE(socket.GetData(), u"+OK あ\r\n"_qs);
        QCOMPARE(socket.GetData(), QString());

        QVERIFY(socket.SendData(u"USER あ\r\n"_qs));
        QTRY_COMPARE(peer->bytesAvailable(), qint64(9));
        QCOMPARE(peer->readAll(), QByteArray("USER \x82\xa0\r\n"));

        // The last words before a hang-up are kept, and the state says "closing".
        peer->write("-ERR bye\r\n");
        peer->disconnectFromHost();
        QTRY_COMPARE(socket.State(), int(SocketControl::StateClosing));
        QCOMPARE(socket.GetData(), QStringLiteral("-ERR bye\r\n"));
        QVERIFY(!socket.SendData(QStringLiteral("QUIT\r\n")));

        socket.Close();
        QCOMPARE(socket.State(), int(SocketControl::StateClosed));
    }

    void failedConnectRequests_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<qint32>("port");
        QTest::addColumn<bool>("requestAccepted");

        QTest::newRow("nobody listening") << QStringLiteral("127.0.0.1") << qint32(0) << true;
        QTest::newRow("port 0") << QStringLiteral("127.0.0.1") << qint32(-1) << false;
        QTest::newRow("port 65536") << QStringLiteral("127.0.0.1") << qint32(65536) << false;
        QTest::newRow("empty host name") << QString() << qint32(110) << false;
        QTest::newRow("blank host name") << QStringLiteral("   ") << qint32(110) << false;
    }

    void failedConnectRequests()
    {
        QFETCH(QString, host);
        QFETCH(qint32, port);
        QFETCH(bool, requestAccepted);

        if (port == 0) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        } else if (port == -1) {
            port = 0;
        }
        SocketControl socket;
        QSignalSpy errors(&socket, &SocketControl::Error);
        socket.setRemoteHost(host);
        socket.setRemotePort(port);
        QCOMPARE(socket.Connect(), requestAccepted);
        if (requestAccepted) {
            QTRY_COMPARE(errors.size(), 1);
            QVERIFY(!errors.first().first().toString().isEmpty());
        } else {
            QVERIFY(!socket.LastErrorDescription().isEmpty());
        }
        QCOMPARE(socket.State(), int(SocketControl::StateError));
        socket.Close();
        QCOMPARE(socket.State(), int(SocketControl::StateClosed));
    }

    void timerTicksOnlyWhenItShould_data()
    {
        QTest::addColumn<qint32>("interval");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("ticks");

        QTest::newRow("enabled with an interval ticks") << qint32(1) << true << true;
        QTest::newRow("interval 0 never ticks") << qint32(0) << true << false;
        QTest::newRow("negative interval never ticks") << qint32(-5) << true << false;
        QTest::newRow("disabled never ticks") << qint32(1) << false << false;
    }

    void timerTicksOnlyWhenItShould()
    {
        QFETCH(qint32, interval);
        QFETCH(bool, enabled);
        QFETCH(bool, ticks);

        TimerControl timer;
        timer.setInterval(interval);
        timer.setEnabled(enabled);
        QCOMPARE(timer.Interval(), interval);
        QCOMPARE(timer.Enabled(), enabled);
        QSignalSpy spy(&timer, &TimerControl::Timer);
        // A companion timer measures "a while" in ticks, not in sleep.
        TimerControl pace;
        pace.setInterval(1);
        pace.setEnabled(true);
        QSignalSpy paceSpy(&pace, &TimerControl::Timer);
        QTRY_VERIFY_WITH_TIMEOUT(paceSpy.size() >= 20, 10000);
        QCOMPARE(!spy.isEmpty(), ticks);
    }

    void reEnablingRestartsTheCount()
    {
        TimerControl timer;
        timer.setInterval(60000);
        timer.setEnabled(true);
        QSignalSpy spy(&timer, &TimerControl::Timer);
        // Shortening the interval while enabled takes effect from now.
        timer.setInterval(1);
        QVERIFY(spy.wait(10000));
        timer.setEnabled(false);
        const qsizetype count = spy.size();
        TimerControl pace;
        pace.setInterval(1);
        pace.setEnabled(true);
        QSignalSpy paceSpy(&pace, &TimerControl::Timer);
        QTRY_VERIFY_WITH_TIMEOUT(paceSpy.size() >= 20, 10000);
        QCOMPARE(spy.size(), count);
        timer.setEnabled(true);
        QVERIFY(spy.wait(10000));
    }
};

QTEST_GUILESS_MAIN(tst_SocketAndTimerControls)
#include "tst_SocketAndTimerControls.moc"
