#pragma once

#include <QByteArray>
#include <QString>

// The initial responses of the SASL mechanisms the program signs in with,
// before base64, for POP3's AUTH and IMAP's AUTHENTICATE alike.
namespace SaslResponses {

// XOAUTH2: "user=" name, "auth=Bearer " token, each ended by \x01, and a
// closing \x01.
QByteArray XOAuth2(const QString& user, const QString& accessToken);

// OAUTHBEARER (RFC 7628): the GS2 header naming the user, then the token.
// Its host and port fields are optional; servers find the account from the
// name and the token alone.
QByteArray OAuthBearer(const QString& user, const QString& accessToken);

// PLAIN (RFC 4616): no authorization identity, the user, the password.
QByteArray Plain(const QString& user, const QString& password);

} // namespace SaslResponses
