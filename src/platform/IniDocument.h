#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// The lines of an INI file in code page 932, with the look-ups and the in-place
// update that the profile services offer. Lines an update does not touch keep
// their original bytes, line ends included. No file access here.
class IniDocument {
public:
    IniDocument() = default;

    // Splits at CR LF, LF or CR; each line is decoded on its own, so a broken
    // double-byte character never swallows a line end.
    static IniDocument FromBytes(QByteArrayView bytes);
    QByteArray ToBytes() const;

    // The key's value: section and key matched without regard to letter case
    // or surrounding blanks, the first of duplicates winning; the value trimmed
    // and freed of one enclosing pair of matching quotes. Empty when missing.
    QString Value(QStringView section, QStringView key) const;

    // The section's lines in file order, as they stand; comment and blank
    // lines left out. Empty for a missing section.
    QStringList SectionLines(QStringView section) const;

    // Replaces an existing key's value in place (keeping the key's spelling),
    // or adds the key after the last entry of its section, or adds the section
    // at the end of the file.
    void SetValue(QStringView section, QStringView key, QStringView value);

    // "[name]" and "key=value" with CR, LF and NUL dropped: whatever a value
    // holds, it stays one line and cannot start another entry.
    static QString HeaderLine(QStringView name);
    static QString EntryLine(QStringView key, QStringView value);

    // The same lines appended to a whole file being built, in code page 932,
    // each ended by CR LF.
    static void AppendHeaderLine(QByteArray& bytes, QStringView name);
    static void AppendEntryLine(QByteArray& bytes, QStringView key, QStringView value);

    // Line end written after every line this program writes.
    static constexpr QByteArrayView LineEnd { "\r\n" };

private:
    struct Line {
        QString text;
        qsizetype start = -1; // original bytes in m_original (line end included); -1 once rewritten
        qsizetype size = 0;
        bool needsLineEnd = false; // the original last line, once something follows it
    };
    struct SectionSpan {
        QString name; // trimmed
        qsizetype header = 0; // line of "[name]"
        qsizetype end = 0; // one past the section's last line
    };

    void reindex();
    const SectionSpan* findSection(QStringView name) const;
    qsizetype findKey(const SectionSpan& span, QStringView key) const;
    void insertLine(qsizetype at, QString text);

    QByteArray m_original;
    QList<Line> m_lines;
    QList<SectionSpan> m_sections; // file order, duplicates included
};
