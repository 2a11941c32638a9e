#include "mail/SaslResponses.h"

namespace {

// A token or name with a control character would break the fields, which
// \x01 (or NUL for PLAIN) separates, as a line break would break the command.
QByteArray saslSafe(const QString& value)
{
    QString safe = value;
    safe.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    return safe.toUtf8();
}

// The authorization identity of OAUTHBEARER's GS2 header, where "," and "="
// are escaped.
QByteArray gs2Name(QByteArray user) { return user.replace("=", "=3D").replace(",", "=2C"); }

QByteArray bearer(const QString& accessToken) { return "auth=Bearer " + saslSafe(accessToken) + "\x01\x01"; }

} // namespace

namespace SaslResponses {

QByteArray XOAuth2(const QString& user, const QString& accessToken)
{
    return "user=" + saslSafe(user) + "\x01" + bearer(accessToken);
}

QByteArray OAuthBearer(const QString& user, const QString& accessToken)
{
    return "n,a=" + gs2Name(saslSafe(user)) + ",\x01" + bearer(accessToken);
}

QByteArray Plain(const QString& user, const QString& password)
{
    return QByteArray(1, '\0') + saslSafe(user) + QByteArray(1, '\0') + saslSafe(password);
}

} // namespace SaslResponses
