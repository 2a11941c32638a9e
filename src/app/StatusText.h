#pragma once

#include <QString>
#include <QtGlobal>

// Where a check stopped, and what the server or the system said about it.
struct CheckFailure {
    enum class Step {
        Connection, // connecting, the greeting, CAPA: the reason is the socket's
        Account, // USER refused
        Password, // PASS refused
        Stat,
        Uidl,
        Top,
        OAuthMechanism, // the server offers no token sign-in
        OAuthSignIn, // the server refused the token
        Keyring, // the password or token could not be read
        SignIn, // the provider needs the user to sign in again
        Token, // the provider could not be asked for a token
        Registration, // the provider does not know the program as a client
        OAuthWithoutTls, // a token would go over a connection without TLS
        ImapGreeting, // the server greets as an IMAP server does
        ImapNoTls, // an IMAP server offers neither TLS nor STARTTLS: no credential goes out
        ImapLogin, // LOGIN or AUTHENTICATE refused
        ImapExamine,
        ImapSearch,
        ImapFetch,
        ImapIdle, // IDLE or its DONE unanswered or refused, after the server listed it
        ImapStartTls, // STARTTLS refused, or plain-text bytes sent behind its answer
        CheckTooLong, // the whole check outlasted its bound, however lively the server
        Oversized, // the server sent more than the check may hold; the reason names the command
        HungUp, // the server hung up in mid-dialogue; the reason names the command
        // (the STATUS texts follow this order)
    };
    Step step;
    // Empty when nothing more is known; else the socket's words, the
    // server's, or the provider's error code, which a user can search for.
    QString reason;
};

// The account's STATUS, as the list and the tray tooltip show it.
namespace StatusText {

// "成功(新着n件)".
QString Success(qsizetype newMail);
// The one bracketed form of a failed check: "ｴﾗｰ(...)".
QString Of(const CheckFailure& failure);

} // namespace StatusText
