#pragma once

#include "app/AccountEntry.h"

#include <QString>
#include <QStringList>
#include <QUrl>

// What reading an account's mail starts, the first that is set winning: the
// account's own OpenMailWith, the program-wide one, the webmail of its OAuth2
// provider, then the desktop's mail program.
namespace MailOpener {

struct Target {
    QUrl url; // opened in the browser
    QStringList command; // else started: the program, then its arguments
    QString source; // where it came from, as the user is told
    QString value; // as it was written there
};

Target For(const AccountEntry& account);

// The user's message when nothing was found (an empty source) or the target
// did not start.
QString FailureText(const Target& target);

} // namespace MailOpener
