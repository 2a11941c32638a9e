#include "mail/CheckBudget.h"

#include <QStringList>

namespace {

// glibc hands out 16-byte steps, 8 bytes of each block its own, 32 at least.
qint64 block(qint64 bytes) { return qMax<qint64>(32, (bytes + 8 + 15) / 16 * 16); }

// A place in a list that grows by doubling, and the free one beside it.
template <typename T> constexpr qint64 listPlace = 2 * qint64(sizeof(T));

} // namespace

CheckBudget::CheckBudget(qint64 bound, const ArrivalListCost& shown)
    : m_bound(bound - shown.otherBytes)
    , m_shownOwn(shown.ownBytes)
    , m_bytesPerRow(shown.bytesPerRow)
{
}

qint64 CheckBudget::TextCost(qsizetype characters) { return block(16 + 2 * (qint64(characters) + 1)); }

qint64 CheckBudget::SeenCost(const QString& identifier)
{
    // The set's node and its share of spans and buckets.
    return TextCost(identifier.size()) + listPlace<QString> + 48;
}

qint64 CheckBudget::IdentifierCost(qsizetype characters)
{
    // "UIDL123456=" and CR LF around the identifier in the file.
    return TextCost(characters) + listPlace<QString> + characters + 20;
}

qint64 CheckBudget::NewMailCost(const NewMailItem& item)
{
    return listPlace<NewMailItem> + TextCost(item.strFrom.size()) + TextCost(item.strDate.size())
        + TextCost(item.strSubject.size());
}

bool CheckBudget::Charge(qint64 bytes, qint64 newRows)
{
    m_held += bytes;
    m_newRows += newRows * m_bytesPerRow;
    return withinBound();
}

bool CheckBudget::Waiting(qint64 bytes)
{
    m_waiting = bytes;
    return withinBound();
}

bool CheckBudget::withinBound() const { return Room() >= 0; }

qint64 CheckBudget::Room() const
{
    // The account's rows shown now go once its new rows come, and no sooner.
    return m_bound - m_held - m_waiting - qMax(m_shownOwn, m_newRows);
}
