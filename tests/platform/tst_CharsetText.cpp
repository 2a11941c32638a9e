#include "platform/CharsetText.h"

#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<QString>)

class tst_CharsetText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("charset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<std::optional<QString>>("expected");

        QTest::newRow("EUC-JP kanji") << QByteArray("EUC-JP") << QByteArray("\xC6\xFC\xCB\xDC\xB8\xEC")
                                      << std::optional<QString>(u"日本語"_qs);
        QTest::newRow("charset name in lower case")
            << QByteArray("euc-jp") << QByteArray("\xA4\xA2") << std::optional<QString>(u"あ"_qs);
        QTest::newRow("stateful charset returns to ASCII")
            << QByteArray("ISO-2022-JP-2") << QByteArray("\x1B$B$\"\x1B(Bx")
            << std::optional<QString>(u"あx"_qs);
        QTest::newRow("unknown charset")
            << QByteArray("X-NO-SUCH-CHARSET") << QByteArray("abc") << std::optional<QString>();
        QTest::newRow("bytes invalid in the charset")
            << QByteArray("EUC-JP") << QByteArray("\xA4") << std::optional<QString>();
        QTest::newRow("no bytes") << QByteArray("EUC-JP") << QByteArray()
                                  << std::optional<QString>(QString());
    }

    void decode()
    {
        QFETCH(QByteArray, charset);
        QFETCH(QByteArray, bytes);
        QFETCH(std::optional<QString>, expected);
        QCOMPARE(CharsetText::Decode(charset, bytes), expected);
    }
};

QTEST_GUILESS_MAIN(tst_CharsetText)
#include "tst_CharsetText.moc"
