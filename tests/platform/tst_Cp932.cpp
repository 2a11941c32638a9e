#include "platform/Cp932.h"

#include <QHash>
#include <QTest>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// How Windows ranks the codes of one character when it encodes: the lowest
// code wins, except that the NEC-selected IBM rows (ED, EE) come last.
int windowsRank(int code) { return (code >= 0xED00 && code <= 0xEEFF) ? code + 0x10000 : code; }

} // namespace

class tst_Cp932 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("text");

        QTest::newRow("backslash byte is a backslash") << QByteArray("\x5C") << "\\";
        QTest::newRow("tilde byte is a tilde") << QByteArray("\x7E") << "~";
        QTest::newRow("full-width reverse solidus") << bytes({ 0x81, 0x5F }) << QString(QChar(0xFF3C));
        QTest::newRow("wave dash row is full-width tilde") << bytes({ 0x81, 0x60 }) << QString(QChar(0xFF5E));
        QTest::newRow("parallel to") << bytes({ 0x81, 0x61 }) << QString(QChar(0x2225));
        QTest::newRow("full-width minus") << bytes({ 0x81, 0x7C }) << QString(QChar(0xFF0D));
        QTest::newRow("NEC row 13 circled one") << bytes({ 0x87, 0x40 }) << QStringLiteral("①");
        QTest::newRow("IBM extension small roman one") << bytes({ 0xFA, 0x40 }) << QStringLiteral("ⅰ");
        QTest::newRow("half-width katakana") << bytes({ 0xB1, 0xDF }) << QStringLiteral("ｱﾟ");
        QTest::newRow("private use area start") << bytes({ 0xF0, 0x40 }) << QString(QChar(0xE000));
        QTest::newRow("private use area end") << bytes({ 0xF9, 0xFC }) << QString(QChar(0xE757));
        QTest::newRow("control bytes kept")
            << bytes({ 0x1A, 0x1C, 0x7F, 0x00 }) << QString::fromUtf16(u"\x1A\x1C\x7F\0", 4);
        QTest::newRow("trail byte that looks like a backslash")
            << bytes({ 0x83, 0x5C }) << QStringLiteral("ソ");
        QTest::newRow("lone lead byte at the end") << bytes({ 'a', 0x81 }) << QStringLiteral("a・");
        QTest::newRow("lead byte before a line end") << bytes({ 0x81, '\n', 'b' }) << QStringLiteral("・\nb");
        QTest::newRow("lead byte before a blank") << bytes({ 0x81, ' ' }) << QStringLiteral("・ ");
        QTest::newRow("pair without a character is one replacement")
            << bytes({ 0x85, 0x40, 'z' }) << QStringLiteral("・z");
        QTest::newRow("bytes that start nothing")
            << bytes({ 0x80, 0xA0, 0xFD, 0xFE, 0xFF }) << QStringLiteral("・・・・・");
        QTest::newRow("empty") << QByteArray() << QString();
    }

    void decode()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, text);
        QCOMPARE(Cp932::Decode(input), text);
    }

    void encode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("output");

        QTest::newRow("small roman one takes the IBM code") << QStringLiteral("ⅰ") << bytes({ 0xFA, 0x40 });
        QTest::newRow("capital roman one takes the NEC code") << QStringLiteral("Ⅰ") << bytes({ 0x87, 0x54 });
        QTest::newRow("approximately equal takes the JIS code")
            << QStringLiteral("≒") << bytes({ 0x81, 0xE0 });
        QTest::newRow("full-width not sign takes the JIS code")
            << QString(QChar(0xFFE2)) << bytes({ 0x81, 0xCA });
        QTest::newRow("because takes the JIS code") << QStringLiteral("∵") << bytes({ 0x81, 0xE6 });
        QTest::newRow("Japanese text") << QStringLiteral(
            "新着メール") << bytes({ 0x90, 0x56, 0x92, 0x85, 0x83, 0x81, 0x81, 0x5B, 0x83, 0x8B });
        QTest::newRow("character without a code becomes a question mark")
            << QStringLiteral("a€b") << QByteArray("a?b");
        QTest::newRow("character beyond the basic plane is one question mark")
            << QStringLiteral("x😀y") << QByteArray("x?y");
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("?");
        QTest::newRow("control characters kept") << QStringLiteral("\t\x1A\x7F") << QByteArray("\t\x1A\x7F");
    }

    void encode()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, output);
        QCOMPARE(Cp932::Encode(text), output);
    }

    // Every double-byte code decodes, and every character encodes back to the
    // code Windows would choose among its duplicates.
    void everyDoubleByteCodeRoundTripsAsOnWindows()
    {
        QHash<char16_t, int> preferred;
        int codes = 0;
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!Cp932::IsLeadByte(uchar(lead)))
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (trail == 0x7F)
                    continue;
                const QString text = Cp932::Decode(bytes({ lead, trail }));
                QCOMPARE(text.size(), 1);
                if (text[0] == QChar(0x30FB) && !(lead == 0x81 && trail == 0x45))
                    continue; // no character here
                ++codes;
                const int code = lead << 8 | trail;
                auto it = preferred.find(text[0].unicode());
                if (it == preferred.end())
                    preferred.insert(text[0].unicode(), code);
                else if (windowsRank(code) < windowsRank(*it))
                    *it = code;
            }
        }
        QCOMPARE(codes, 9604);
        for (auto it = preferred.cbegin(); it != preferred.cend(); ++it) {
            const QByteArray encoded = Cp932::Encode(QString(QChar(it.key())));
            QCOMPARE(encoded, bytes({ it.value() >> 8, it.value() & 0xFF }));
        }
    }
};

QTEST_GUILESS_MAIN(tst_Cp932)
#include "tst_Cp932.moc"
