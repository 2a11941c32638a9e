#pragma once

#include "platform/IniDocument.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

// The three profile services over an INI file: read a value, read a section,
// write a value. Every call reads the whole file; every write replaces it.
namespace IniProfile {

// The file as a document. False (with an empty document) when the file exists
// but cannot be read; a missing file reads as an empty one.
bool ReadFile(const QString& path, IniDocument& document);

// The value of a key, as IniDocument::Value; empty when anything is missing.
QString GetString(const QString& path, QStringView section, QStringView key);

// The lines of a section, as IniDocument::SectionLines.
QStringList GetSection(const QString& path, QStringView section);

// What became of a write: done, refused because the user made the file
// read-only, or failed for the reason the system gave.
struct WriteResult {
    bool written = false;
    bool readOnly = false;
    QString reason; // why it failed otherwise, in words for the user

    explicit operator bool() const { return written; }
};

// Sets one key, keeping every other byte of the file.
WriteResult WriteString(const QString& path, QStringView section, QStringView key, QStringView value);

// Replaces the whole file: written beside it, flushed to the disk and renamed
// over it, so a crash leaves the old or the new content, never a mix. Where
// nothing can be created beside it (a folder the user may not write), the file
// itself is overwritten and flushed instead. The file is readable and writable
// by its owner only. Refuses a read-only file and a path that is not a plain file.
WriteResult WriteFile(const QString& path, const QByteArray& bytes);

// True when the file exists and its owner's write permission is taken away.
// (The permission bit, not access(): an administrator may write anything.)
bool IsReadOnly(const QString& path);

} // namespace IniProfile
