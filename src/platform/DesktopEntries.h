#pragma once

#include <QString>
#include <QStringList>

// The desktop's choice of program for a kind of link, read the freedesktop
// way: mimeapps.list names desktop entries, and an entry's Exec line is the
// command. The readers are pure functions over the files' text; only
// DefaultHandler looks at the file system and the environment.
namespace DesktopEntries {

// The desktop IDs a mimeapps.list gives the MIME type in one group
// ("Default Applications", "Added Associations", "Removed Associations"),
// in the order written.
QStringList MimeAppsIds(const QString& text, const QString& group, const QString& mimeType);

// A key of the [Desktop Entry] group with the string escapes (\s \n \t \r \\)
// undone; empty when the group or the key is missing.
QString EntryValue(const QString& text, const QString& key);

// A command line split into the program and its arguments as Exec= is:
// blanks separate, double quotes hold blanks, and inside quotes a backslash
// escapes " ` $ and \. Field codes are dropped, since nothing is handed to
// the program, and %% stays a %. Empty for an empty or malformed line
// (an open quote, an unknown field code).
QStringList SplitExec(const QString& command);

// What the desktop starts for the MIME type, found along the XDG
// configuration and data folders: the command without any field code, and
// the desktop ID it came from. Empty when no installed entry is named.
struct Handler {
    QString desktopId;
    QStringList command;
};
Handler DefaultHandler(const QString& mimeType);

} // namespace DesktopEntries
