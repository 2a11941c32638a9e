#include "app/StatusText.h"

#include <array>

namespace StatusText {

QString Success(qsizetype newMail)
{
    return QStringLiteral("成功(新着") + QString::number(newMail) + QStringLiteral("件)");
}

QString Of(const CheckFailure& failure)
{
    using Step = CheckFailure::Step;
    // By step, in the order of the steps; a lost connection is told in the socket's own words.
    static constexpr std::array<const char16_t*, 24> kNames { nullptr, u"ACCOUNT ｴﾗｰ", u"PASSWD ｴﾗｰ",
        u"STAT ｴﾗｰ", u"UIDL ｴﾗｰ", u"TOP ｴﾗｰ", u"OAUTH2 非対応ｻｰﾊﾞｰ", u"OAUTH2 ｻｲﾝｲﾝ ｴﾗｰ", u"ｷｰﾘﾝｸﾞ ｴﾗｰ",
        u"ｻｲﾝｲﾝが必要です", u"ﾄｰｸﾝ ｴﾗｰ", u"ｸﾗｲｱﾝﾄ登録 ｴﾗｰ", u"OAUTH2 は TLS のみ", u"IMAP ｻｰﾊﾞｰです",
        u"STARTTLS 非対応ｻｰﾊﾞｰ", u"LOGIN ｴﾗｰ", u"EXAMINE ｴﾗｰ", u"SEARCH ｴﾗｰ", u"FETCH ｴﾗｰ", u"IDLE ｴﾗｰ",
        u"STARTTLS ｴﾗｰ", u"ﾁｪｯｸ時間超過", u"受信ｻｲｽﾞ超過", u"ｻｰﾊﾞｰ切断" };
    if (failure.step == Step::Connection)
        return QStringLiteral("ｴﾗｰ(") + failure.reason + u')';
    QString what = QString::fromUtf16(kNames[std::size_t(failure.step)]);
    if (!failure.reason.isEmpty())
        what += QStringLiteral(": ") + failure.reason;
    return QStringLiteral("ｴﾗｰ(") + what + u')';
}

} // namespace StatusText
