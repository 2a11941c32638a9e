#include "settings/API_IniFileAccess.h"

#include "app/AppIdentity.h"
#include "platform/AppFolders.h"
#include "platform/Cp932.h"
#include "platform/ExecutableInfo.h"
#include "platform/IniProfile.h"
#include "platform/MessageBoxService.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <iterator>

namespace API_IniFileAccess {

QStringList CheckedIniFiles;
QStringList UnsavedIniFiles;

namespace {

    QString& pathForTests()
    {
        static QString path;
        return path;
    }

    QString resolve(const QString& file) { return file.isEmpty() ? GetIniFilePath() : file; }

    QString readOnlyWarning()
    {
        return QStringLiteral("設定ﾌｧｲﾙが書きこみ禁止になっています。\r\n"
                              "設定状態を保存する場合はﾌｧｲﾙを書きこみ可にしてOKを押してください。\r\n"
                              "保存しない場合はそのままOKを押してください。\r\n");
    }

    QString unsavedMessage(const QString& path, const QString& reason)
    {
        return QStringLiteral("設定ﾌｧｲﾙを保存できませんでした。\r\n保存先: ") + QDir::toNativeSeparators(path)
            + QStringLiteral("\r\n理由: ") + reason + QStringLiteral("\r\n");
    }

    // The read-only case has had its own warning; any other failure would
    // otherwise lose everything typed since the start without a word.
    bool reportFailure(const QString& path, const IniProfile::WriteResult& result)
    {
        if (result.written || result.readOnly || UnsavedIniFiles.contains(path))
            return result.written;
        UnsavedIniFiles.append(path);
        MessageBoxService::Current().Show(unsavedMessage(path, result.reason),
            MessageBoxService::Icon::Exclamation, MessageBoxService::Buttons::Ok, AppIdentity::AppTitle());
        return false;
    }

    bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

} // namespace

QString GetIniFilePath()
{
    if (!pathForTests().isEmpty())
        return pathForTests();
#ifdef Q_OS_WIN
    const QChar separator = u'\\';
#else
    const QChar separator = u'/';
#endif
    // Always inserted: beside a root folder that gives a doubled separator, read as one.
    return AppFolders::ProgramSettingsFolder() + separator + ExecutableInfo::BaseName()
        + QStringLiteral(".ini");
}

void SetIniFilePathForTests(const QString& path) { pathForTests() = path; }

IniDocument ReadIniFile(const QString& file)
{
    IniDocument ini;
    IniProfile::ReadFile(resolve(file), ini);
    return ini;
}

bool ReadIniValue(const IniDocument& ini, const QString& section, const QString& key, QString& value)
{
    value = ini.Value(section, key);
    // What a caller's buffer would hold: the text up to the first NUL.
    const qsizetype nul = value.indexOf(QChar(u'\0'));
    if (nul >= 0)
        value.truncate(nul);
    return !value.isEmpty();
}

bool ReadIniValue(const QString& section, const QString& key, QString& value, const QString& file)
{
    return ReadIniValue(ReadIniFile(file), section, key, value);
}

bool ReadIniSection(const IniDocument& ini, const QString& section, QString& text)
{
    text = ini.SectionLines(section).join(QChar(u'\0'));
    // A line made only of NULs leaves nothing to read.
    qsizetype last = text.size();
    while (last > 0 && text[last - 1] == QChar(u'\0'))
        --last;
    text.truncate(last);
    return !text.isEmpty();
}

bool ReadIniSection(const QString& section, QString& text, const QString& file)
{
    return ReadIniSection(ReadIniFile(file), section, text);
}

bool ReadIniSectionPairs(
    const IniDocument& ini, const QString& section, QList<IniPair>& pairs, bool stripQuotes)
{
    const QStringList lines = ini.SectionLines(section);
    // Read as one text, the section would end at its last character that is not a NUL.
    const bool found = std::any_of(lines.cbegin(), lines.cend(), [](const QString& line) {
        return std::any_of(line.cbegin(), line.cend(), [](QChar c) { return c != QChar(u'\0'); });
    });
    if (!found)
        return false;
    pairs.clear();
    pairs.reserve(lines.size());
    auto add = [&](QStringView entry) {
        if (entry.trimmed().isEmpty())
            return;
        const qsizetype equals = entry.indexOf(u'=');
        if (equals < 0)
            return; // a hand-edited line that is no entry at all
        IniPair pair { entry.first(equals).toString(), entry.sliced(equals + 1).toString() };
        if (stripQuotes) {
            pair.Key = StripQuotes(pair.Key);
            pair.Value = StripQuotes(pair.Value);
        }
        pairs.append(std::move(pair));
    };
    for (const QString& line : lines) {
        // A NUL ends an entry, as it would in the text of the whole section.
        if (!line.contains(QChar(u'\0'))) {
            add(line);
            continue;
        }
        for (QStringView entry : QStringView(line).split(QChar(u'\0')))
            add(entry);
    }
    return true;
}

bool ReadIniSectionPairs(const QString& section, QList<IniPair>& pairs, bool stripQuotes, const QString& file)
{
    return ReadIniSectionPairs(ReadIniFile(file), section, pairs, stripQuotes);
}

bool WriteIniValue(const QString& section, const QString& value, const QString& key, const QString& file)
{
    const QString path = resolve(file);
    // A missing file is simply created by the write.
    CheckIniFile(path);
    return reportFailure(path, IniProfile::WriteString(path, section, key, value));
}

bool WriteIniFile(const QList<IniSection>& sections, const QString& file)
{
    const QString path = resolve(file);
    CheckIniFile(path);

    // Sized for single-byte text; Japanese text grows it once or twice.
    qsizetype size = 0;
    for (const IniSection& section : sections) {
        size += section.Name.size() + 4;
        for (const IniPair& pair : section.Pairs)
            size += pair.Key.size() + pair.Value.size() + 3;
        for (const QString& value : section.List)
            size += section.ListKey.size() + value.size() + 10;
    }
    QByteArray bytes;
    bytes.reserve(size);
    for (const IniSection& section : sections) {
        IniDocument::AppendHeaderLine(bytes, section.Name);
        for (const IniPair& pair : section.Pairs)
            IniDocument::AppendEntryLine(bytes, pair.Key, pair.Value);
        // One key buffer for the whole list: its number is rewritten in place.
        QString key = section.ListKey;
        const qsizetype prefix = key.size();
        char digits[24];
        for (qsizetype i = 0; i < section.List.size(); ++i) {
            key.truncate(prefix);
            const auto end = std::to_chars(std::begin(digits), std::end(digits), i).ptr;
            key.append(QLatin1StringView(digits, end));
            IniDocument::AppendEntryLine(bytes, key, QuoteForReading(section.List[i]));
        }
    }
    return reportFailure(path, IniProfile::WriteFile(path, bytes));
}

bool CheckIniFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return false;
    if (CheckedIniFiles.contains(path))
        return true;
    CheckedIniFiles.append(path);
    if (IniProfile::IsReadOnly(path))
        MessageBoxService::Current().Show(readOnlyWarning(), MessageBoxService::Icon::Exclamation,
            MessageBoxService::Buttons::Ok, AppIdentity::AppTitle());
    return true;
}

QString StripQuotes(const QString& text)
{
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        return text.sliced(1, text.size() - 2);
    return text;
}

QString QuoteForReading(const QString& text)
{
    if (text.isEmpty())
        return text;
    const QChar first = text.front();
    const bool enclosed = text.size() >= 2 && first == text.back() && (first == u'"' || first == u'\'');
    if (!enclosed && !isBlank(first) && !isBlank(text.back()))
        return text;
    return u'"' + text + u'"';
}

} // namespace API_IniFileAccess
