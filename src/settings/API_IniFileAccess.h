#pragma once

#include "platform/IniDocument.h"

#include <QList>
#include <QString>
#include <QStringList>

// The only code that touches the settings file: where it lives, reading a
// value or a section, writing, and the one warning about a read-only file.
// Where a file argument is empty, the settings file is meant.
namespace API_IniFileAccess {

// One entry of a section: the text before its first "=" and the text after.
struct IniPair {
    QString Key;
    QString Value;
};

// One section of a whole file to write, entries in order: the pairs, then
// the list as ListKey0, ListKey1, ... Values that reading would change are
// given as QuoteForReading makes them; the list is quoted while it is written,
// so that a long list is never copied.
struct IniSection {
    QString Name;
    QList<IniPair> Pairs;
    QString ListKey;
    QStringList List;
};

// Settings files checked (and warned about) during this run.
extern QStringList CheckedIniFiles;

// Settings files whose failed write the user has been told about during this run.
extern QStringList UnsavedIniFiles;

// The executable's folder, a separator, its name without extension, ".ini".
QString GetIniFilePath();

// Test hook: makes GetIniFilePath return `path`; an empty path restores the rule.
void SetIniFilePathForTests(const QString& path);

// The file read and decoded once, for a caller that reads many keys.
IniDocument ReadIniFile(const QString& file = {});

// False, with `value` empty, when the key, its section or the file is missing
// or the value is empty.
bool ReadIniValue(const QString& section, const QString& key, QString& value, const QString& file = {});
bool ReadIniValue(const IniDocument& ini, const QString& section, const QString& key, QString& value);

// The section's entries separated by single NULs, without a trailing NUL.
bool ReadIniSection(const QString& section, QString& text, const QString& file = {});
bool ReadIniSection(const IniDocument& ini, const QString& section, QString& text);

// The section as key/value pairs in file order; blank entries and entries
// without "=" are left out. On failure `pairs` keeps its old content.
bool ReadIniSectionPairs(
    const QString& section, QList<IniPair>& pairs, bool stripQuotes, const QString& file = {});
bool ReadIniSectionPairs(
    const IniDocument& ini, const QString& section, QList<IniPair>& pairs, bool stripQuotes);

// Sets one key in the file (creating file and section as needed). A write
// that fails for any reason but a read-only file is told once per run.
bool WriteIniValue(
    const QString& section, const QString& value, const QString& key, const QString& file = {});

// Replaces the whole file with these sections: one build, one crash-safe write.
bool WriteIniFile(const QList<IniSection>& sections, const QString& file = {});

// False when the file is missing or is a folder. The first time a file is
// checked during the run and it is read-only, the user is told once.
bool CheckIniFile(const QString& path);

// Removes one enclosing pair of double quotes.
QString StripQuotes(const QString& text);

// The text as it must be written for a read to give it back: reading removes
// one enclosing pair of quotes and, for a single value, the blanks around it,
// so such a text gets one more pair of double quotes.
QString QuoteForReading(const QString& text);

} // namespace API_IniFileAccess
