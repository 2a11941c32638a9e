#include "app/NumericText.h"

#include <QTest>

class tst_NumericText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void toInt32_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<qint32>("value");

        QTest::newRow("plain port") << "110" << true << 110;
        QTest::newRow("blanks before the number") << "  \t25" << true << 25;
        QTest::newRow("trailing words ignored") << "12 minutes" << true << 12;
        QTest::newRow("half rounds down to even") << "2.5" << true << 2;
        QTest::newRow("half rounds up to even") << "3.5" << true << 4;
        QTest::newRow("twelve and a half") << "12.5" << true << 12;
        QTest::newRow("thirteen and a half") << "13.5" << true << 14;
        QTest::newRow("negative half to even") << "-2.5" << true << -2;
        QTest::newRow("just above half") << "2.51" << true << 3;
        QTest::newRow("leading point") << ".6" << true << 1;
        QTest::newRow("exponent") << "1.5e2" << true << 150;
        QTest::newRow("exponent without digits is not one") << "7e" << true << 7;
        QTest::newRow("explicit plus") << "+8" << true << 8;
        QTest::newRow("no number at all") << "abc" << true << 0;
        QTest::newRow("empty") << "" << true << 0;
        QTest::newRow("sign alone") << "-" << true << 0;
        QTest::newRow("point alone") << "." << true << 0;
        QTest::newRow("full-width digits are not digits") << "１２" << true << 0;
        QTest::newRow("largest int32") << "2147483647" << true << 2147483647;
        QTest::newRow("smallest int32") << "-2147483648" << true << qint32(-2147483647 - 1);
        QTest::newRow("one past int32") << "2147483648" << false << 0;
        QTest::newRow("rounds past int32") << "2147483647.5" << false << 0;
        QTest::newRow("far below int32") << "-99999999999" << false << 0;
        QTest::newRow("overflowing double") << "1e999" << false << 0;
        QTest::newRow("underflowing double") << "1e-400" << true << 0;
        QTest::newRow("negative underflowing double") << "-1e-400" << true << 0;
    }

    void toInt32()
    {
        QFETCH(QString, text);
        QFETCH(bool, fits);
        QFETCH(qint32, value);
        const auto result = NumericText::ToInt32Checked(text);
        QCOMPARE(result.has_value(), fits);
        if (fits)
            QCOMPARE(*result, value);
    }

    void clampsOutOfRange()
    {
        QCOMPARE(NumericText::ToInt32(u"99999999999"), 2147483647);
        QCOMPARE(NumericText::ToInt32(u"-99999999999"), qint32(-2147483647 - 1));
    }

    void isNumeric_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");

        QTest::newRow("integer") << "110" << true;
        QTest::newRow("blanks around") << "  42  " << true;
        QTest::newRow("decimal") << "2.5" << true;
        QTest::newRow("signed exponent") << "-1.5E+3" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blanks only") << "   " << false;
        QTest::newRow("letters") << "abc" << false;
        QTest::newRow("number then letters") << "12a" << false;
        QTest::newRow("two numbers") << "1 2" << false;
        QTest::newRow("dangling exponent") << "1e" << false;
        QTest::newRow("sign alone") << "+" << false;
    }

    void isNumeric()
    {
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QCOMPARE(NumericText::IsNumeric(text), numeric);
    }
};

QTEST_GUILESS_MAIN(tst_NumericText)
#include "tst_NumericText.moc"
