#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The tray's tooltip: the program's title, then a line for each account
// worth naming. The tray holds 64 characters, so lines that do not fit are
// left out whole, and the last line says how many went.
namespace TrayTip {

// What the tray's field holds.
constexpr qsizetype Limit = 64;

// One thing to say of an account: held mail, a failure, push, spam; or,
// with a negative tag, of the program as a whole.
struct Mention {
    qint32 tag;
    QString title;
    QString state;
};

// What is said of the program as a whole, a line each, ahead of the
// accounts, since it is why nothing else moves; then one line per account, in
// the order each is first mentioned: its title, then everything said of it,
// so that no account is named twice.
QStringList AccountLines(const QList<Mention>& mentions);

// The title, then the lines in their order that fit within limit
// characters; a line never ends cut short, and when some are left out a
// last line counts them.
QString Compose(const QString& title, const QStringList& lines, qsizetype limit = Limit);

} // namespace TrayTip
