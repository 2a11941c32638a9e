#include "mail/HeaderDecoder.h"

#include "EscapedText.h"

#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<QString>)

class tst_HeaderDecoder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodeHeaderText_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");

        // Payloads made from Japanese text with a standard ISO-2022-JP encoder.
        QTest::newRow("one hiragana word") << "=?ISO-2022-JP?B?GyRCJCIbKEI=?=" << u"あ"_qs;
        QTest::newRow("plain address keeps its leading blank") << " taro@example.jp"
                                                               << " taro@example.jp";
        QTest::newRow("blank after the colon stays before the decoded text")
            << " =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=" << u" テスト"_qs;
        QTest::newRow("lower-case prefix") << "=?iso-2022-jp?b?GyRCJUYlOSVIGyhC?=" << u"テスト"_qs;
        QTest::newRow("two words keep the blank between them")
            << "=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= =?ISO-2022-JP?B?GyRCJCIbKEI=?=" << u"テスト あ"_qs;
        QTest::newRow("sender name before the address")
            << " =?ISO-2022-JP?B?GyRCOzNFREJATzobKEI=?= <taro@example.jp>"
            << u" 山田太郎 <taro@example.jp>"_qs;
        QTest::newRow("reply prefix before the word")
            << " Re: =?ISO-2022-JP?B?GyRCTWg9NSRORGpOYzJxNUQbKEI=?=" << u" Re: 来週の定例会議"_qs;
        QTest::newRow("ASCII inside the word")
            << "=?ISO-2022-JP?B?UmU6IBskQjgrQFEkYiRqGyhC?=" << u"Re: 見積もり"_qs;
        QTest::newRow("blanks at the start of the decoded text are dropped")
            << "x=?ISO-2022-JP?B?IBskQkEwJEs2dUdyGyhC?=" << u"x前に空白"_qs;
        QTest::newRow("empty payload contributes nothing") << "[=?ISO-2022-JP?B?"
                                                              "?=]"
                                                           << "[]";
        QTest::newRow("payload starting with = is empty text") << "a=?ISO-2022-JP?B?=GyRC?=b"
                                                               << "aGyRC?=b";
        QTest::newRow("word without its end stays as it came") << "Re: =?ISO-2022-JP?B?GyRCJCIbKEI="
                                                               << "Re: =?ISO-2022-JP?B?GyRCJCIbKEI=";
        QTest::newRow("word without its end after a decoded word")
            << "=?ISO-2022-JP?B?GyRCJCIbKEI=?= =?ISO-2022-JP?B?GyRC" << u"あ =?ISO-2022-JP?B?GyRC"_qs;
        QTest::newRow("bad Base64 keeps the word") << "a =?ISO-2022-JP?B?GyRC JCIbKEI=?= b"
                                                   << "a =?ISO-2022-JP?B?GyRC JCIbKEI=?= b";
        QTest::newRow("= inside the payload ends the data")
            << "=?ISO-2022-JP?B?GyRCJCIbKEI=GARBAGE?=" << u"あ"_qs;
        QTest::newRow("truncated JIS run is left as it came")
            << "=?ISO-2022-JP?B?GyRCJA==?=" << EscapedText("ESC$B$");
        QTest::newRow("JIS without closing escape keeps its last bytes")
            << "=?ISO-2022-JP?B?GyRCJCIkJCQm?=" << u"あい$&"_qs;
        QTest::newRow("Shift_JIS bytes in an ISO-2022-JP word, half-width katakana kept")
            << "=?ISO-2022-JP?B?sbKzir+Omg==?=" << u"ｱｲｳ漢字"_qs;
        QTest::newRow("three words without blanks") << "=?ISO-2022-JP?B?GyRCTWg9NSRORGpOYzJxNUQbKEI=?="
                                                       "=?ISO-2022-JP?B?GyRCJE5GfER4SlE5OSRLGyhC?="
                                                       "=?ISO-2022-JP?B?GyRCJEQkJCRGJE4kKkNOJGkkOxsoQg==?="
                                                    << u"来週の定例会議の日程変更についてのお知らせ"_qs;
        QTest::newRow("empty value") << QString() << QString();
        // Every prefix starts a word that ends only at the last "?=".
        const QString closedOnce = QStringLiteral("=?ISO-2022-JP?B?GyRC ").repeated(300 * 1024 / 21) + "?=";
        QTest::newRow("300 KB of prefixes closed once is kept once") << closedOnce << closedOnce;
        const QString neverClosed = QStringLiteral("=?ISO-2022-JP?B?QUFB").repeated(1024 * 1024 / 20);
        QTest::newRow("1 MB of prefixes never closed is kept once") << neverClosed << neverClosed;
        QTest::newRow("text after the last word stays")
            << "=?ISO-2022-JP?B?GyRCJCIbKEI=?= (2)" << u"あ (2)"_qs;
        QTest::newRow("old mailer announcing JIS C 6226-1978 kanji")
            << "=?ISO-2022-JP?B?GyRAOzNFRBsoQg==?=" << u"山田"_qs;
        QTest::newRow("kanji closed with JIS X 0201 Roman")
            << "=?ISO-2022-JP?B?GyRCOCtAURsoSiBOby41?=" << u"見積 No.5"_qs;

        // Other charsets and encodings.
        QTest::newRow("UTF-8 subject in Base64")
            << "=?UTF-8?B?44GT44KT44Gr44Gh44Gv5LiW55WM?=" << u"こんにちは世界"_qs;
        QTest::newRow("UTF-8 in Q encoding")
            << "=?utf-8?q?=E3=81=93=E3=82=93=E3=81=AB=E3=81=A1=E3=81=AF?=" << u"こんにちは"_qs;
        QTest::newRow("Latin-1 Q with underscore as blank")
            << "=?ISO-8859-1?Q?Caf=E9_au_lait?=" << u"Café au lait"_qs;
        QTest::newRow("Shift_JIS word") << "=?Shift_JIS?B?sbKzir+Omg==?=" << u"ｱｲｳ漢字"_qs;
        QTest::newRow("EUC-JP word") << "=?EUC-JP?B?xvzL3Ljs?=" << u"日本語"_qs;
        QTest::newRow("ISO-2022-JP in Q encoding") << "=?ISO-2022-JP?Q?=1B$B$=22=1B(B?=" << u"あ"_qs;
        QTest::newRow("JIS C 6226-1978 kanji in Q encoding")
            << "=?ISO-2022-JP?Q?=1B$@;3ED=1B(B?=" << u"山田"_qs;
        QTest::newRow("JIS X 0201 Roman in Q encoding")
            << "=?ISO-2022-JP?Q?=1B$B8+@Q=1B(J_No.5?=" << u"見積 No.5"_qs;
        QTest::newRow("ISO-2022-JP with a language tag") << "=?ISO-2022-JP*ja?B?GyRCJCIbKEI=?=" << u"あ"_qs;
        QTest::newRow("unknown charset stays") << "=?X-UNKNOWN?B?GyRCJCIbKEI=?="
                                               << "=?X-UNKNOWN?B?GyRCJCIbKEI=?=";
        QTest::newRow("UTF-8 word between ISO-2022-JP words")
            << "=?ISO-2022-JP?B?GyRCJCIbKEI=?= =?UTF-8?B?5LiW55WM?= =?ISO-2022-JP?B?GyRCJCIbKEI=?="
            << u"あ 世界 あ"_qs;
        QTest::newRow("bad hex in a Q word keeps the word") << "=?UTF-8?Q?abc=ZZ?="
                                                            << "=?UTF-8?Q?abc=ZZ?=";
        QTest::newRow("cut-off hex in a Q word keeps the word") << "=?UTF-8?Q?abc=E?="
                                                                << "=?UTF-8?Q?abc=E?=";
        QTest::newRow("invalid UTF-8 keeps the word") << "=?UTF-8?B?/w==?="
                                                      << "=?UTF-8?B?/w==?=";
        QTest::newRow("Q payload that begins with a byte") << "=?UTF-8?Q?=E4=B8=96?=" << u"世"_qs;
        QTest::newRow("UTF-8 character split between adjacent words")
            << "=?UTF-8?Q?=E3=81?==?UTF-8?Q?=93=E3=82=93?=" << u"こん"_qs;
        QTest::newRow("UTF-8 character split between B and Q words")
            << "=?UTF-8?B?44E=?==?utf-8?Q?=93?=" << u"こ"_qs;
        QTest::newRow("split character with a blank between the words stays undecoded")
            << "=?UTF-8?Q?=E3=81?= =?UTF-8?Q?=93?="
            << "=?UTF-8?Q?=E3=81?= =?UTF-8?Q?=93?=";
        QTest::newRow("broken word in a run keeps only itself")
            << "=?UTF-8?B?5LiW?==?UTF-8?B?!!!?==?UTF-8?B?55WM?=" << u"世=?UTF-8?B?!!!?=界"_qs;
        QTest::newRow("adjacent words in different charsets")
            << "=?ISO-8859-1?Q?Caf=E9?==?UTF-8?B?44GC?=" << u"Caféあ"_qs;
        QTest::newRow("adjacent ISO-2022-JP Q and B words")
            << "=?ISO-2022-JP?Q?=1B$B$=22=1B(B?==?ISO-2022-JP?B?GyRCJCIbKEI=?=" << u"ああ"_qs;
        QTest::newRow("UTF-8 word directly before an ISO-2022-JP word")
            << "=?UTF-8?B?5LiW55WM?==?ISO-2022-JP?B?GyRCJCIbKEI=?=" << u"世界あ"_qs;
        QTest::newRow("word missing its last = stays") << "=?UTF-8?B?44GC?"
                                                       << "=?UTF-8?B?44GC?";
        QTest::newRow("blank in the charset is no word") << "=?UTF 8?B?44GC?="
                                                         << "=?UTF 8?B?44GC?=";
        QTest::newRow("stray opening before a real word") << "=?=?UTF-8?B?44GC?=" << u"=?あ"_qs;
        QTest::newRow("unknown encoding letter is plain text") << "=?UTF-8?X?abc?="
                                                               << "=?UTF-8?X?abc?=";
    }

    void decodeHeaderText()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QCOMPARE(DecodeHeaderText(value), expected);
    }

    void base64Decode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<QString>>("expected");

        QTest::newRow("ISO-2022-JP bytes, one character each")
            << "GyRCJCIbKEI=" << std::optional<QString>(EscapedText("ESC$B$\"ESC(B"));
        QTest::newRow("no padding") << "QUJD" << std::optional<QString>(u"ABC"_qs);
        QTest::newRow("padding ends the data") << "QQ==QUJD" << std::optional<QString>(u"A"_qs);
        QTest::newRow("leftover bits dropped") << "QUI" << std::optional<QString>(u"AB"_qs);
        QTest::newRow("empty text is empty, not missing") << "" << std::optional<QString>(QString());
        QTest::newRow("blank is outside the alphabet") << "QU JD" << std::optional<QString>();
        QTest::newRow("line break is outside the alphabet") << "QUJD\r\n" << std::optional<QString>();
        QTest::newRow("URL-safe letters are outside the alphabet") << "QU-_" << std::optional<QString>();
        QTest::newRow("Shift_JIS pairs and half-width katakana")
            << "sbKzir+Omg==" << std::optional<QString>(u"ｱｲｳ漢字"_qs);
        // 0x82 0xA0 0x82: the last lead byte has no partner.
        QTest::newRow("lone lead byte at the end is dropped") << "gqCC" << std::optional<QString>(u"あ"_qs);
        QTest::newRow("lead byte pairs with an ASCII byte") << "gmA=" << std::optional<QString>(u"Ａ"_qs);
        // 0xF0 is no lead byte here, so 0xF0 0x41 are two characters.
        QTest::newRow("user-defined area byte stands alone") << "8EE=" << std::optional<QString>(u"・A"_qs);
    }

    void base64Decode()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<QString>, expected);
        QCOMPARE(Base64Decode(text), expected);
    }
};

QTEST_GUILESS_MAIN(tst_HeaderDecoder)
#include "tst_HeaderDecoder.moc"
