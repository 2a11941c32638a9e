#include "mail/CheckRequest.h"
#include "mail/NextCheck.h"
#include "mail/PopTimeOut.h"

#include <QTest>

#include <limits>

class tst_CheckTimingRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nextCheckOnRebuild_data()
    {
        QTest::addColumn<int>("current"); // INT_MIN: the row has no value yet
        QTest::addColumn<qint32>("interval");
        QTest::addColumn<qint32>("result");

        constexpr int none = std::numeric_limits<int>::min();
        QTest::newRow("new row starts at its interval") << none << 15 << 15;
        QTest::newRow("countdown under way is kept") << 3 << 15 << 3;
        QTest::newRow("countdown equal to the interval is kept") << 15 << 15 << 15;
        QTest::newRow("interval shortened below the countdown") << 12 << 5 << 5;
        QTest::newRow("countdown at 0 starts again") << 0 << 10 << 10;
        QTest::newRow("countdown run below 0 while the interval was 0, interval now set") << -7 << 10 << 10;
        QTest::newRow("interval 0 keeps the row at 0") << -3 << 0 << 0;
        QTest::newRow("new row with interval 0") << none << 0 << 0;
    }

    void nextCheckOnRebuild()
    {
        QFETCH(int, current);
        QFETCH(qint32, interval);
        QFETCH(qint32, result);

        const std::optional<qint32> value
            = current == std::numeric_limits<int>::min() ? std::nullopt : std::optional<qint32>(current);
        QCOMPARE(NextCheckForRebuild(value, interval), result);
    }

    void popTimeOut_data()
    {
        QTest::addColumn<qint32>("seconds");
        QTest::addColumn<qint32>("milliseconds");

        QTest::newRow("default 10 s") << 10 << 10000;
        QTest::newRow("32 s, the old 16-bit ceiling") << 32 << 32000;
        QTest::newRow("33 s, past the old ceiling") << 33 << 33000;
        QTest::newRow("one hour") << 3600 << 3600000;
        QTest::newRow("0 means the default") << 0 << 10000;
        QTest::newRow("negative means the default") << -1 << 10000;
        QTest::newRow("largest that fits in full") << 2147483 << 2147483000;
        QTest::newRow("beyond 32-bit milliseconds is capped")
            << std::numeric_limits<qint32>::max() << std::numeric_limits<qint32>::max();
    }

    void popTimeOut()
    {
        QFETCH(qint32, seconds);
        QFETCH(qint32, milliseconds);

        QCOMPARE(PopTimeOutMilliseconds(seconds), milliseconds);
    }

    void checkLengthFitsALargeFirstCheck()
    {
        // Years of mail left on the server, asked one by one (UIDL and TOP)
        // over a line with a round trip of 10 ms.
        QVERIFY(ListingLengthMilliseconds(CheckRequest().longestMs, 200000) >= 200000LL * 2 * 10);
    }
};

QTEST_GUILESS_MAIN(tst_CheckTimingRules)
#include "tst_CheckTimingRules.moc"
