#include "platform/DesktopEntries.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringView>

namespace {

// The value of the key in the group, as written; null when either is missing.
// Keys are matched exactly, as the format wants; MIME types, which are keys
// of mimeapps.list, in any letter case.
QString GroupValue(const QString& text, const QString& group, const QString& key, Qt::CaseSensitivity keyCase)
{
    bool inGroup = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line.endsWith(u']') && line.sliced(1, line.size() - 2) == group;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inGroup && equals > 0 && line.first(equals).trimmed().compare(key, keyCase) == 0)
            return line.sliced(equals + 1).trimmed().toString();
    }
    return {};
}

// The string escapes of a desktop entry value; an unknown one stays as written,
// so that Exec's own quoting can still read it.
QString Unescape(const QString& value)
{
    static constexpr QStringView escapes = u"sntr\\";
    static constexpr QStringView meanings = u" \n\t\r\\";
    QString plain;
    plain.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const qsizetype escape
            = value[i] == u'\\' && i + 1 < value.size() ? escapes.indexOf(value[i + 1]) : -1;
        if (escape < 0) {
            plain += value[i];
            continue;
        }
        plain += meanings[escape];
        ++i;
    }
    return plain;
}

// A folder list from the environment, or its default; relative entries are
// ignored, as the base directory rules want.
QStringList Folders(const char* variable, const QString& fallback, bool list)
{
    QString set = qEnvironmentVariable(variable);
    if (set.isEmpty())
        set = fallback;
    QStringList folders;
    for (const QString& folder : list ? set.split(u':') : QStringList { set })
        if (QDir::isAbsolutePath(folder))
            folders.append(folder);
    return folders;
}

QString ReadText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

namespace DesktopEntries {

QStringList MimeAppsIds(const QString& text, const QString& group, const QString& mimeType)
{
    QStringList ids;
    for (const QString& id : GroupValue(text, group, mimeType, Qt::CaseInsensitive).split(u';'))
        if (!id.trimmed().isEmpty())
            ids.append(id.trimmed());
    return ids;
}

QString EntryValue(const QString& text, const QString& key)
{
    return Unescape(GroupValue(text, QStringLiteral("Desktop Entry"), key, Qt::CaseSensitive));
}

QStringList SplitExec(const QString& command)
{
    QStringList words;
    QString word;
    bool inWord = false;
    bool quotedPart = false; // "" is an empty argument, not none
    bool quoted = false;
    const auto endWord = [&] {
        if (inWord && (!word.isEmpty() || quotedPart))
            words.append(word);
        word.clear();
        inWord = quotedPart = false;
    };
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command[i];
        if (quoted) {
            if (c == u'"')
                quoted = false;
            else if (c == u'\\' && i + 1 < command.size() && QStringView(u"\"`$\\").contains(command[i + 1]))
                word += command[++i];
            else
                word += c;
            continue;
        }
        if (c == u' ' || c == u'\t') {
            endWord();
            continue;
        }
        inWord = true;
        if (c == u'"') {
            quoted = quotedPart = true;
        } else if (c == u'%') {
            if (i + 1 == command.size())
                return {};
            const QChar code = command[++i];
            if (code == u'%')
                word += code;
            else if (!QStringView(u"fFuUdDnNickvm").contains(code))
                return {};
        } else {
            word += c;
        }
    }
    if (quoted)
        return {};
    endWord();
    if (words.isEmpty() || words.first().isEmpty())
        return {};
    return words;
}

Handler DefaultHandler(const QString& mimeType)
{
    const QStringList configFolders
        = Folders("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"), false)
        + Folders("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"), true);
    const QStringList dataFolders
        = Folders("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"), false)
        + Folders("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"), true);

    // Most important first; a desktop's own list ahead of the common one.
    QStringList lists;
    const QStringList desktops
        = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(u':', Qt::SkipEmptyParts);
    const auto addLists = [&](const QString& folder) {
        for (const QString& desktop : desktops)
            lists.append(folder + u'/' + desktop + QStringLiteral("-mimeapps.list"));
        lists.append(folder + QStringLiteral("/mimeapps.list"));
    };
    for (const QString& folder : configFolders)
        addLists(folder);
    for (const QString& folder : dataFolders)
        addLists(folder + QStringLiteral("/applications"));

    // The first entry of that name along the data folders, also one that hides
    // itself: it hides the system's entry of the same name.
    const auto commandOf = [&](const QString& id) -> QStringList {
        for (const QString& folder : dataFolders) {
            const QString path = folder + QStringLiteral("/applications/") + id;
            if (!QFile::exists(path))
                continue;
            const QString entry = ReadText(path);
            if (EntryValue(entry, QStringLiteral("Hidden")) == u"true")
                return {};
            return SplitExec(EntryValue(entry, QStringLiteral("Exec")));
        }
        return {};
    };

    QList<QString> texts;
    for (const QString& list : lists)
        texts.append(ReadText(list));
    for (const QString& text : texts)
        for (const QString& id : MimeAppsIds(text, QStringLiteral("Default Applications"), mimeType))
            if (const QStringList command = commandOf(id); !command.isEmpty())
                return { id, command };
    // No default that is installed: the associations added, less those that
    // the same or a more important list removed.
    QSet<QString> removed;
    for (const QString& text : texts) {
        for (const QString& id : MimeAppsIds(text, QStringLiteral("Removed Associations"), mimeType))
            removed.insert(id);
        for (const QString& id : MimeAppsIds(text, QStringLiteral("Added Associations"), mimeType))
            if (const QStringList command = commandOf(id); !removed.contains(id) && !command.isEmpty())
                return { id, command };
    }
    return {};
}

} // namespace DesktopEntries
