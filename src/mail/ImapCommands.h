#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <optional>

// IMAP commands as they go onto the wire, for the check and the IDLE watch
// alike. A command is its first line, without the tag, and the lines that
// each follow one continuation ("+") of the server: a literal's bytes, a SASL
// response, the answer to a challenge. Every line ends in CR LF.
namespace ImapCommands {

struct Command {
    QByteArray line;
    QByteArrayList continuations = {};
};

// How an account signs in with what the server listed: with a token,
// AUTHENTICATE XOAUTH2, else OAUTHBEARER; with a password, LOGIN, or
// AUTHENTICATE PLAIN where LOGINDISABLED is listed. Nothing when the server
// offers no way for these credentials.
std::optional<Command> SignIn(const QByteArrayList& capabilities, const QString& user,
    const QString& password, const QString& accessToken);

} // namespace ImapCommands
