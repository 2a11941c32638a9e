#include "mail/ImapCommands.h"

#include "mail/ImapFraming.h"
#include "mail/SaslResponses.h"

namespace {

using ImapCommands::Command;

// User name and password as quoted strings, or as literals, whose bytes go
// only once the server has invited them.
Command login(const QString& user, const QString& password)
{
    const ImapFraming::Astring name = ImapFraming::ToAstring(user);
    const ImapFraming::Astring secret = ImapFraming::ToAstring(password);
    QByteArrayList pieces { "LOGIN " + name.head };
    if (name.literal)
        pieces.append(*name.literal);
    pieces.last() += ' ' + secret.head;
    if (secret.literal)
        pieces.append(*secret.literal);
    pieces.last() += "\r\n";
    const QByteArray line = pieces.takeFirst();
    return { line, pieces };
}

// With SASL-IR the response rides on the command; without, it follows the
// server's "+". A refusal may come as a challenge carrying the reason, and
// `cancel` answers it so the server can end the command with its NO.
Command authenticate(
    bool initialResponse, const QByteArray& mechanism, const QByteArray& response, const QByteArray& cancel)
{
    Command command { "AUTHENTICATE " + mechanism, {} };
    if (initialResponse)
        command.line += ' ' + response.toBase64();
    else
        command.continuations.append(response.toBase64() + "\r\n");
    command.line += "\r\n";
    command.continuations.append(cancel + "\r\n");
    return command;
}

} // namespace

namespace ImapCommands {

std::optional<Command> SignIn(const QByteArrayList& capabilities, const QString& user,
    const QString& password, const QString& accessToken)
{
    const bool initialResponse = capabilities.contains("SASL-IR");
    if (!accessToken.isEmpty()) {
        if (capabilities.contains("AUTH=XOAUTH2"))
            return authenticate(initialResponse, "XOAUTH2", SaslResponses::XOAuth2(user, accessToken), "");
        if (capabilities.contains("AUTH=OAUTHBEARER"))
            return authenticate(
                initialResponse, "OAUTHBEARER", SaslResponses::OAuthBearer(user, accessToken), "AQ==");
        return std::nullopt;
    }
    if (!capabilities.contains("LOGINDISABLED"))
        return login(user, password);
    if (capabilities.contains("AUTH=PLAIN"))
        return authenticate(initialResponse, "PLAIN", SaslResponses::Plain(user, password), "*");
    return std::nullopt;
}

} // namespace ImapCommands
