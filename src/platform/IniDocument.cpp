#include "platform/IniDocument.h"

#include "platform/Cp932.h"

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

QStringView trimmedBlanks(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.sliced(first, last - first);
}

QChar firstNonBlank(QStringView line)
{
    for (QChar c : line)
        if (!isBlank(c))
            return c;
    return QChar();
}

bool isComment(QStringView line) { return firstNonBlank(line) == u';'; }

// The name of a "[name]" line; false for any other line.
bool headerName(QStringView line, QStringView& name)
{
    const QStringView text = trimmedBlanks(line);
    if (!text.startsWith(u'['))
        return false;
    const qsizetype close = text.indexOf(u']');
    if (close < 0)
        return false;
    name = trimmedBlanks(text.sliced(1, close - 1));
    return true;
}

// The key of an entry line (the whole trimmed line when it has no "=").
QStringView entryKey(QStringView line)
{
    const qsizetype equals = line.indexOf(u'=');
    return trimmedBlanks(equals < 0 ? line : line.first(equals));
}

bool sameName(QStringView a, QStringView b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool isLineBreakOrNul(QChar c) { return c == u'\r' || c == u'\n' || c == QChar(u'\0'); }

// Appends `text` without its CR, LF and NUL characters.
// Appends the text without its line breaks and NULs, as text or as bytes.
template <typename Append> void appendClean(QStringView text, Append append)
{
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isLineBreakOrNul(text[i]))
            continue;
        append(text.sliced(run, i - run));
        run = i + 1;
    }
    append(text.sliced(run));
}

void appendClean(QString& out, QStringView text)
{
    appendClean(text, [&out](QStringView run) { out.append(run); });
}

void appendClean(QByteArray& out, QStringView text)
{
    appendClean(text, [&out](QStringView run) { Cp932::EncodeAppend(out, run); });
}

} // namespace

IniDocument IniDocument::FromBytes(QByteArrayView bytes)
{
    IniDocument doc;
    doc.m_original = bytes.toByteArray();
    const char* data = doc.m_original.constData();
    const qsizetype n = doc.m_original.size();
    doc.m_lines.reserve(doc.m_original.count('\n') + doc.m_original.count('\r') / 2 + 1);
    qsizetype start = 0;
    while (start < n) {
        qsizetype end = start;
        while (end < n && data[end] != '\r' && data[end] != '\n')
            ++end;
        qsizetype next = end;
        if (next < n && data[next] == '\r')
            ++next;
        if (next < n && data[next] == '\n')
            ++next; // LF alone, or the LF of CR LF
        doc.m_lines.append(
            Line { Cp932::Decode(QByteArrayView(data + start, end - start)), start, next - start, false });
        start = next;
    }
    doc.reindex();
    return doc;
}

QByteArray IniDocument::ToBytes() const
{
    QByteArray out;
    out.reserve(m_original.size() + 64);
    for (const Line& line : m_lines) {
        if (line.start >= 0) {
            out.append(m_original.constData() + line.start, line.size);
            if (line.needsLineEnd)
                out.append(LineEnd);
        } else {
            out.append(Cp932::Encode(line.text));
            out.append(LineEnd);
        }
    }
    return out;
}

void IniDocument::reindex()
{
    m_sections.clear();
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        QStringView name;
        if (!headerName(m_lines[i].text, name))
            continue;
        if (!m_sections.isEmpty())
            m_sections.last().end = i;
        m_sections.append(SectionSpan { name.toString(), i, m_lines.size() });
    }
}

const IniDocument::SectionSpan* IniDocument::findSection(QStringView name) const
{
    const QStringView wanted = trimmedBlanks(name);
    for (const SectionSpan& span : m_sections)
        if (sameName(span.name, wanted))
            return &span;
    return nullptr;
}

qsizetype IniDocument::findKey(const SectionSpan& span, QStringView key) const
{
    const QStringView wanted = trimmedBlanks(key);
    for (qsizetype i = span.header + 1; i < span.end; ++i) {
        const QString& line = m_lines[i].text;
        if (isComment(line) || firstNonBlank(line).isNull())
            continue;
        if (sameName(entryKey(line), wanted))
            return i;
    }
    return -1;
}

QString IniDocument::Value(QStringView section, QStringView key) const
{
    const SectionSpan* span = findSection(section);
    if (!span)
        return {};
    const qsizetype at = findKey(*span, key);
    if (at < 0)
        return {};
    const QString& line = m_lines[at].text;
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return {};
    QStringView value = trimmedBlanks(QStringView(line).sliced(equals + 1));
    if (value.size() >= 2 && value.front() == value.back()
        && (value.front() == u'"' || value.front() == u'\''))
        value = value.sliced(1, value.size() - 2);
    return value.toString();
}

QStringList IniDocument::SectionLines(QStringView section) const
{
    QStringList lines;
    const SectionSpan* span = findSection(section);
    if (!span)
        return lines;
    lines.reserve(span->end - span->header - 1);
    for (qsizetype i = span->header + 1; i < span->end; ++i) {
        const QString& line = m_lines[i].text;
        if (!isComment(line) && !firstNonBlank(line).isNull())
            lines.append(line);
    }
    return lines;
}

void IniDocument::insertLine(qsizetype at, QString text)
{
    // The line before may be the file's last one, without a line end.
    if (at > 0) {
        Line& before = m_lines[at - 1];
        if (before.start >= 0) {
            const char last = m_original.at(before.start + before.size - 1);
            before.needsLineEnd = last != '\n' && last != '\r';
        }
    }
    m_lines.insert(at, Line { std::move(text), -1, 0, false });
}

void IniDocument::SetValue(QStringView section, QStringView key, QStringView value)
{
    const SectionSpan* span = findSection(section);
    if (!span) {
        insertLine(m_lines.size(), HeaderLine(trimmedBlanks(section)));
        insertLine(m_lines.size(), EntryLine(trimmedBlanks(key), value));
        reindex();
        return;
    }
    const qsizetype at = findKey(*span, key);
    if (at >= 0) {
        Line& line = m_lines[at];
        line.text = EntryLine(entryKey(line.text), value);
        line.start = -1;
        return;
    }
    qsizetype after = span->header;
    for (qsizetype i = span->header + 1; i < span->end; ++i)
        if (!isComment(m_lines[i].text) && !firstNonBlank(m_lines[i].text).isNull())
            after = i;
    insertLine(after + 1, EntryLine(trimmedBlanks(key), value));
    reindex();
}

QString IniDocument::HeaderLine(QStringView name)
{
    QString line;
    line.reserve(name.size() + 2);
    line.append(u'[');
    appendClean(line, name);
    line.append(u']');
    return line;
}

QString IniDocument::EntryLine(QStringView key, QStringView value)
{
    QString line;
    line.reserve(key.size() + value.size() + 1);
    appendClean(line, key);
    line.append(u'=');
    appendClean(line, value);
    return line;
}

void IniDocument::AppendHeaderLine(QByteArray& bytes, QStringView name)
{
    bytes.append('[');
    appendClean(bytes, name);
    bytes.append(']').append(LineEnd);
}

void IniDocument::AppendEntryLine(QByteArray& bytes, QStringView key, QStringView value)
{
    appendClean(bytes, key);
    bytes.append('=');
    appendClean(bytes, value);
    bytes.append(LineEnd);
}
