#include "mail/KNJconv.h"

#include "EscapedText.h"
#include "platform/Cp932.h"

#include <QTest>

class tst_KNJconv : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void jisPair_data()
    {
        QTest::addColumn<int>("j1");
        QTest::addColumn<int>("j2");
        QTest::addColumn<QString>("expected");

        QTest::newRow("hiragana a, even first byte") << 0x24 << 0x22 << u"あ"_qs;
        QTest::newRow("first level-1 kanji") << 0x30 << 0x21 << u"亜"_qs;
        QTest::newRow("ideographic space, first code of the table") << 0x21 << 0x21 << u"\u3000"_qs;
        QTest::newRow("katakana te") << 0x25 << 0x46 << u"テ"_qs;
        QTest::newRow("odd first byte skips trail 0x7F") << 0x21 << 0x60 << u"÷"_qs;
        QTest::newRow("even first byte, last trail 0xFC") << 0x22 << 0x7E << u"◯"_qs;
        QTest::newRow("first lead byte above the gap (0xE0)") << 0x5F << 0x21 << u"漾"_qs;
        QTest::newRow("last level-2 kanji row") << 0x74 << 0x26 << u"熙"_qs;
        QTest::newRow("circled digit one from the vendor row") << 0x2D << 0x21 << u"①"_qs;
        QTest::newRow("code without a character becomes the middle dot") << 0x7E << 0x7E << u"・"_qs;
    }

    void jisPair()
    {
        QFETCH(int, j1);
        QFETCH(int, j2);
        QFETCH(QString, expected);
        const QByteArray jis = QByteArray("\x1b$B").append(char(j1)).append(char(j2)).append("\x1b(B");
        QCOMPARE(Cp932::Decode(KNJconv::JisBytesToSjis(jis)), expected);
    }

    void jisBytesToSjis_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        QTest::newRow("one hiragana between the escapes") << EscapedText("ESC$B$\"ESC(B") << u"あ"_qs;
        QTest::newRow("three katakana") << EscapedText("ESC$B%F%9%HESC(B") << u"テスト"_qs;
        QTest::newRow("plain ASCII is copied") << EscapedText("Hello, world") << EscapedText("Hello, world");
        QTest::newRow("ASCII before and after kanji")
            << EscapedText("Re: ESC$B8+@QESC(B 2") << EscapedText("Re: 見積 2");
        QTest::newRow("two kanji runs") << EscapedText("ESC$B$\"ESC(BxESC$B$$ESC(B") << u"あxい"_qs;
        QTest::newRow("kanji run without closing escape keeps its last bytes")
            << EscapedText("ESC$B$\"$$$&") << EscapedText("あい$&");
        QTest::newRow("empty text") << QString() << QString();
        QTest::newRow("single character") << EscapedText("a") << EscapedText("a");
        QTest::newRow("two characters") << EscapedText("ab") << EscapedText("ab");
        QTest::newRow("lone kanji escape") << EscapedText("ESC$B") << EscapedText("ESC$B");
        QTest::newRow("kanji escape with one byte after it")
            << EscapedText("ESC$B$") << EscapedText("ESC$B$");
        QTest::newRow("kanji escape with two bytes after it")
            << EscapedText("xESC$B$\"") << EscapedText("xESC$B$\"");
        QTest::newRow("line break inside kanji is skipped") << EscapedText("ESC$B$\"\n$$ESC(B") << u"あい"_qs;
        QTest::newRow("blank inside kanji is skipped") << EscapedText("ESC$B$\" $$ESC(B") << u"あい"_qs;
        QTest::newRow("pair with a broken second byte is skipped")
            << EscapedText("ESC$B$\"$\n$$ESC(B") << u"あい"_qs;
        QTest::newRow("odd kanji byte before the closing escape")
            << EscapedText("ESC$B$\"$ESC(Babc") << EscapedText("あabc");
        QTest::newRow("kanji of JIS C 6226-1978 from an old mailer")
            << EscapedText("ESC$@$\"ESC(B") << u"あ"_qs;
        QTest::newRow("JIS X 0201 Roman ends kanji") << EscapedText("ESC$B$\"ESC(Jcd") << u"あcd"_qs;
        QTest::newRow("half-width katakana escape is an ordinary character in ASCII mode")
            << EscapedText("abESC(Icd") << EscapedText("abESC(Icd");
        // ESC ( I is not a way out of kanji mode: "(I" is read as a pair that
        // has no character.
        QTest::newRow("unknown escape in kanji mode: ESC skipped, rest paired")
            << EscapedText("ESC$B$\"ESC(I$$ESC(B") << u"あ・い"_qs;
        QTest::newRow("double-byte characters in kanji mode are skipped")
            << EscapedText("ESC$B漢$\"ESC(B") << u"あ"_qs;
        QTest::newRow("double-byte characters in ASCII mode are copied")
            << EscapedText("漢字 ESC$B$\"ESC(B") << u"漢字 あ"_qs;
    }

    void jisBytesToSjis()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(Cp932::Decode(KNJconv::JisBytesToSjis(Cp932::Encode(text))), expected);
    }
};

QTEST_GUILESS_MAIN(tst_KNJconv)
#include "tst_KNJconv.moc"
