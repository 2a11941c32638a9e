#include "app/StatusText.h"

namespace StatusText {

QString Success(qsizetype newMail)
{
    return QStringLiteral("成功(新着") + QString::number(newMail) + QStringLiteral("件)");
}

QString Of(const CheckFailure& failure)
{
    using Step = CheckFailure::Step;
    QString what;
    switch (failure.step) {
    case Step::Connection:
        what = failure.reason;
        break;
    case Step::Account:
        what = QStringLiteral("ACCOUNT ｴﾗｰ");
        break;
    case Step::Password:
        what = QStringLiteral("PASSWD ｴﾗｰ");
        break;
    case Step::Stat:
        what = QStringLiteral("STAT ｴﾗｰ");
        break;
    case Step::Uidl:
        what = QStringLiteral("UIDL ｴﾗｰ");
        break;
    case Step::Top:
        what = QStringLiteral("TOP ｴﾗｰ");
        break;
    case Step::OAuthMechanism:
        what = QStringLiteral("OAUTH2 非対応ｻｰﾊﾞｰ");
        break;
    case Step::OAuthSignIn:
        // The server's own words, where it gave any, are what a user can search for.
        what = QStringLiteral("OAUTH2 ｻｲﾝｲﾝ ｴﾗｰ")
            + (failure.reason.isEmpty() ? QString() : QStringLiteral(": ") + failure.reason);
        break;
    case Step::Keyring:
        what = QStringLiteral("ｷｰﾘﾝｸﾞ ｴﾗｰ");
        break;
    case Step::SignIn:
        what = QStringLiteral("ｻｲﾝｲﾝが必要です");
        break;
    case Step::Token:
        what = QStringLiteral("ﾄｰｸﾝ ｴﾗｰ");
        break;
    }
    return QStringLiteral("ｴﾗｰ(") + what + u')';
}

} // namespace StatusText
