#include "mail/ImapResponses.h"

#include <QDate>

#include <algorithm>
#include <iterator>

namespace ImapResponses {

namespace {

    bool isDigit(char c) { return c >= '0' && c <= '9'; }

    // A byte of an atom, a number or a flag: printable ASCII but for the
    // delimiters of lists, strings, literals and sections. "\" stays in, so
    // that "\Seen" reads as one word.
    bool isWordByte(char c)
    {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte < 0x7F && c != '(' && c != ')' && c != '"' && c != '{' && c != '['
            && c != ']';
    }

    // Text may hold UTF-8, but no line end or NUL: those can only have come
    // from a literal where text belongs.
    bool isText(QByteArrayView text)
    {
        return !text.contains('\r') && !text.contains('\n') && !text.contains('\0');
    }

    bool sameWord(QByteArrayView word, QByteArrayView expected)
    {
        return word.compare(expected, Qt::CaseInsensitive) == 0;
    }

    // Reads a response from the front. Each step consumes what the grammar
    // allows there or fails; a reader gives up at the first failure.
    struct Cursor {
        QByteArrayView rest;

        // The response without its final CR LF; empty, and so fit for no
        // reader, when it has none.
        static Cursor line(QByteArrayView response)
        {
            return { response.endsWith("\r\n") ? response.chopped(2) : QByteArrayView() };
        }

        bool atEnd() const { return rest.isEmpty(); }

        bool take(char c)
        {
            if (!rest.startsWith(c))
                return false;
            rest = rest.sliced(1);
            return true;
        }

        std::optional<QByteArrayView> word()
        {
            qsizetype size = 0;
            while (size < rest.size() && isWordByte(rest[size]))
                ++size;
            if (size == 0)
                return std::nullopt;
            const QByteArrayView word = rest.first(size);
            rest = rest.sliced(size);
            return word;
        }

        bool keyword(QByteArrayView expected)
        {
            const std::optional<QByteArrayView> got = word();
            return got && sameWord(*got, expected);
        }

        // number32, or nz-number: decimal digits alone, at most 4294967295.
        std::optional<quint32> number(bool nonZero)
        {
            const std::optional<QByteArrayView> digits = word();
            if (!digits || digits->size() > 10)
                return std::nullopt;
            quint64 value = 0;
            for (const char c : *digits) {
                if (!isDigit(c))
                    return std::nullopt;
                value = value * 10 + quint64(c - '0');
            }
            if (value > 0xFFFFFFFFu || (nonZero && value == 0))
                return std::nullopt;
            return quint32(value);
        }

        std::optional<QByteArray> quoted()
        {
            if (!take('"'))
                return std::nullopt;
            QByteArray text;
            for (qsizetype pos = 0; pos < rest.size(); ++pos) {
                char c = rest[pos];
                if (c == '"') {
                    rest = rest.sliced(pos + 1);
                    return text;
                }
                if (c == '\\') {
                    if (++pos == rest.size() || (rest[pos] != '"' && rest[pos] != '\\'))
                        return std::nullopt;
                    c = rest[pos];
                } else if (c == '\r' || c == '\n' || c == '\0') {
                    return std::nullopt;
                }
                text += c;
            }
            return std::nullopt;
        }

        // The framer has checked the size against the bytes that arrived;
        // here it is checked against the bytes that are left.
        std::optional<QByteArrayView> literal()
        {
            if (!take('{'))
                return std::nullopt;
            qsizetype size = 0;
            qsizetype digits = 0;
            for (; digits < rest.size() && isDigit(rest[digits]); ++digits) {
                size = size * 10 + (rest[digits] - '0');
                if (size > rest.size())
                    return std::nullopt;
            }
            rest = rest.sliced(digits);
            take('+');
            if (digits == 0 || !take('}') || !take('\r') || !take('\n') || size > rest.size())
                return std::nullopt;
            const QByteArrayView bytes = rest.first(size);
            rest = rest.sliced(size);
            return bytes;
        }

        // A string, a literal, or NIL for none (an empty value).
        std::optional<QByteArray> nstring()
        {
            if (rest.startsWith('"'))
                return quoted();
            if (rest.startsWith('{')) {
                const std::optional<QByteArrayView> bytes = literal();
                return bytes ? std::optional(bytes->toByteArray()) : std::nullopt;
            }
            return keyword("NIL") ? std::optional(QByteArray()) : std::nullopt;
        }

        bool scalar()
        {
            if (rest.startsWith('"'))
                return quoted().has_value();
            if (rest.startsWith('{'))
                return literal().has_value();
            return word().has_value();
        }

        // Any value, lists nested to any depth (a BODYSTRUCTURE nests
        // deeply), without recursion that a hostile server could make deep.
        bool skipValue()
        {
            qsizetype depth = 0;
            for (;;) {
                if (take('(')) {
                    ++depth;
                    if (!take(')'))
                        continue;
                    --depth;
                } else if (!scalar()) {
                    return false;
                }
                while (depth > 0 && take(')'))
                    --depth;
                if (depth == 0)
                    return true;
                // The parts of a multipart BODYSTRUCTURE follow each other
                // without a blank.
                if (!take(' ') && !rest.startsWith('('))
                    return false;
            }
        }

        // A FETCH item's name, a section in brackets included:
        // "BODY[HEADER.FIELDS (FROM SUBJECT)]". A section may hold quoted
        // field names, and with them a "]".
        std::optional<QByteArrayView> itemName()
        {
            const QByteArrayView start = rest;
            if (!word())
                return std::nullopt;
            if (take('[')) {
                while (!take(']')) {
                    if (take(' ') || take('(') || take(')'))
                        continue;
                    if (rest.startsWith('"') ? !quoted() : !word())
                        return std::nullopt;
                }
                // A partial fetch answers with its origin: "BODY[]<0>".
                word();
            }
            return start.first(start.size() - rest.size());
        }

        // INTERNALDATE's "17-Jul-1996 02:44:25 -0700" (the day may be one
        // digit, or padded with a blank), in seconds since the epoch.
        std::optional<qint64> internalDate()
        {
            const std::optional<QByteArray> text = quoted();
            if (!text)
                return std::nullopt;
            Cursor in { *text };
            in.take(' ');
            const auto digits = [&in](qsizetype count) -> std::optional<int> {
                if (in.rest.size() < count)
                    return std::nullopt;
                int value = 0;
                for (const char c : in.rest.first(count)) {
                    if (!isDigit(c))
                        return std::nullopt;
                    value = value * 10 + (c - '0');
                }
                in.rest = in.rest.sliced(count);
                return value;
            };
            std::optional<int> day = digits(1);
            if (day && !in.rest.startsWith('-')) {
                const std::optional<int> units = digits(1);
                day = units ? std::optional(*day * 10 + *units) : std::nullopt;
            }
            if (!day || !in.take('-') || in.rest.size() < 3)
                return std::nullopt;
            static const QByteArrayView months[]
                = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
            const auto month = std::find_if(std::begin(months), std::end(months),
                [&in](QByteArrayView name) { return sameWord(in.rest.first(3), name); });
            in.rest = in.rest.sliced(3);
            if (month == std::end(months) || !in.take('-'))
                return std::nullopt;
            const std::optional<int> year = digits(4);
            const QDate date(year.value_or(0), int(month - std::begin(months)) + 1, *day);
            if (!year || !date.isValid() || !in.take(' '))
                return std::nullopt;
            const std::optional<int> hour = digits(2);
            const std::optional<int> minute = hour && in.take(':') ? digits(2) : std::nullopt;
            const std::optional<int> second = minute && in.take(':') ? digits(2) : std::nullopt;
            if (!second || *hour > 23 || *minute > 59 || *second > 60 || !in.take(' '))
                return std::nullopt;
            const int sign = in.take('+') ? 1 : in.take('-') ? -1 : 0;
            const std::optional<int> zone = digits(4);
            if (sign == 0 || !zone || *zone % 100 > 59 || !in.atEnd())
                return std::nullopt;
            const qint64 days = date.toJulianDay() - QDate(1970, 1, 1).toJulianDay();
            return days * 86400 + *hour * 3600 + *minute * 60 + *second
                - sign * (*zone / 100 * 3600 + *zone % 100 * 60);
        }

        // Whether a flag list "(\Seen \Answered)" holds \Seen.
        std::optional<bool> seenFlag()
        {
            if (!take('('))
                return std::nullopt;
            bool seen = false;
            if (take(')'))
                return seen;
            do {
                const std::optional<QByteArrayView> flag = word();
                if (!flag)
                    return std::nullopt;
                seen = seen || sameWord(*flag, "\\Seen");
            } while (take(' '));
            return take(')') ? std::optional(seen) : std::nullopt;
        }
    };

    // "* " and what follows it, without the CR LF.
    std::optional<Cursor> untagged(QByteArrayView response)
    {
        Cursor in = Cursor::line(response);
        if (!in.take('*') || !in.take(' '))
            return std::nullopt;
        return in;
    }

    std::optional<QByteArrayList> capabilityList(Cursor in)
    {
        if (!in.keyword("CAPABILITY"))
            return std::nullopt;
        QByteArrayList capabilities;
        while (in.take(' ')) {
            const std::optional<QByteArrayView> name = in.word();
            if (!name)
                return std::nullopt;
            capabilities.append(name->toByteArray().toUpper());
        }
        if (!in.atEnd() || capabilities.isEmpty())
            return std::nullopt;
        return capabilities;
    }

} // namespace

std::optional<Status> ReadStatus(QByteArrayView response)
{
    Cursor in = Cursor::line(response);
    const std::optional<QByteArrayView> tag = in.word();
    // A "+" opens a continuation, never a tag.
    if (!tag || tag->startsWith('+') || !in.take(' '))
        return std::nullopt;
    const bool tagged = *tag != "*";
    const std::optional<QByteArrayView> word = in.word();
    if (!word)
        return std::nullopt;

    Status status;
    if (sameWord(*word, "OK"))
        status.condition = Condition::Ok;
    else if (sameWord(*word, "NO"))
        status.condition = Condition::No;
    else if (sameWord(*word, "BAD"))
        status.condition = Condition::Bad;
    else if (!tagged && sameWord(*word, "PREAUTH"))
        status.condition = Condition::PreAuth;
    else if (!tagged && sameWord(*word, "BYE"))
        status.condition = Condition::Bye;
    else
        return std::nullopt;
    if (tagged)
        status.tag = tag->toByteArray();

    // Servers leave out the text the grammar asks for often enough.
    if (!in.atEnd() && !in.take(' '))
        return std::nullopt;
    if (in.take('[')) {
        const qsizetype end = in.rest.indexOf(']');
        if (end < 0)
            return std::nullopt;
        status.code = in.rest.first(end).toByteArray();
        in.rest = in.rest.sliced(end + 1);
        if (!in.atEnd() && !in.take(' '))
            return std::nullopt;
    }
    if (!isText(status.code) || !isText(in.rest))
        return std::nullopt;
    status.text = in.rest.toByteArray();
    return status;
}

bool IsContinuation(QByteArrayView response)
{
    const QByteArrayView line = Cursor::line(response).rest;
    return line.startsWith('+') && (line.size() == 1 || line[1] == ' ') && isText(line);
}

std::optional<quint32> CodeNumber(QByteArrayView response, QByteArrayView name)
{
    const std::optional<Status> status = ReadStatus(response);
    if (!status)
        return std::nullopt;
    Cursor in { status->code };
    if (!in.keyword(name) || !in.take(' '))
        return std::nullopt;
    const std::optional<quint32> number = in.number(true);
    return in.atEnd() ? number : std::nullopt;
}

std::optional<QByteArrayList> Capabilities(QByteArrayView response)
{
    if (const std::optional<Status> status = ReadStatus(response))
        return capabilityList({ status->code });
    const std::optional<Cursor> in = untagged(response);
    return in ? capabilityList(*in) : std::nullopt;
}

std::optional<quint32> Exists(QByteArrayView response)
{
    std::optional<Cursor> in = untagged(response);
    if (!in)
        return std::nullopt;
    const std::optional<quint32> count = in->number(false);
    if (!in->take(' ') || !in->keyword("EXISTS") || !in->atEnd())
        return std::nullopt;
    return count;
}

std::optional<QList<quint32>> SearchResults(QByteArrayView response)
{
    std::optional<Cursor> in = untagged(response);
    if (!in || !in->keyword("SEARCH"))
        return std::nullopt;
    QList<quint32> numbers;
    while (in->take(' ')) {
        // Servers that write "* SEARCH " for nothing found mean no harm by the blank.
        if (in->atEnd())
            break;
        const std::optional<quint32> number = in->number(true);
        if (!number)
            return std::nullopt;
        numbers.append(*number);
    }
    return in->atEnd() ? std::optional(numbers) : std::nullopt;
}

bool IsUntagged(QByteArrayView response, QByteArrayView name)
{
    std::optional<Cursor> in = untagged(response);
    if (!in)
        return false;
    // The message number of "* 12 FETCH", when there is one.
    if (Cursor numbered = *in; numbered.number(false) && numbered.take(' '))
        in = numbered;
    return in->keyword(name);
}

std::optional<Fetch> ReadFetch(QByteArrayView response)
{
    std::optional<Cursor> in = untagged(response);
    if (!in)
        return std::nullopt;
    Fetch fetch;
    const std::optional<quint32> message = in->number(true);
    if (!message || !in->take(' ') || !in->keyword("FETCH") || !in->take(' ') || !in->take('('))
        return std::nullopt;
    fetch.message = *message;

    // A second value of an item would leave the check to pick one.
    const auto once = [](auto& item, auto value) {
        if (item.has_value() || !value.has_value())
            return false;
        item = std::move(value);
        return true;
    };
    do {
        const std::optional<QByteArrayView> name = in->itemName();
        if (!name || !in->take(' '))
            return std::nullopt;
        bool read = false;
        if (sameWord(*name, "UID"))
            read = once(fetch.uid, in->number(true));
        else if (sameWord(*name, "FLAGS"))
            read = once(fetch.seen, in->seenFlag());
        else if (sameWord(*name, "INTERNALDATE"))
            read = once(fetch.arrived, in->internalDate());
        else if (name->size() > 5 && sameWord(name->first(5), "BODY["))
            read = once(fetch.header, in->nstring());
        else
            read = in->skipValue();
        if (!read)
            return std::nullopt;
    } while (in->take(' '));
    if (!in->take(')') || !in->atEnd())
        return std::nullopt;
    return fetch;
}

} // namespace ImapResponses
