#include "FakeMailCheckHost.h"

#include "app/AccountTable.h"
#include "app/AppIdentity.h"
#include "app/TrayTip.h"
#include "mail/MailChecker.h"

void FakeMailCheckHost::Watch(MailChecker& checker)
{
    QObject::connect(
        &checker, &MailChecker::StatusChanged, &checker, [this](qint32 tag, const QString& text) {
            if (Row* row = FindRow(tag))
                row->statusHistory.append(text);
            if (onStatus)
                onStatus(tag, text);
        });
    QObject::connect(&checker, &MailChecker::TrayChanged, &checker,
        [this](int picture, const QList<TrayTip::Mention>& mentions) {
            trayPictures.append(picture);
            trayToolTip = TrayTip::Compose(AppIdentity::AppTitle(), TrayTip::AccountLines(mentions));
        });
    QObject::connect(
        &checker, &MailChecker::SeenListChanged, &checker, [this](qint32 tag, const QStringList& seen) {
            Accounts[std::size_t(tag)].UIDL = seen;
            ++seenListStores;
        });
    QObject::connect(
        &checker, &MailChecker::MailArrived, &checker, [this](qint32 tag, const QList<NewMailItem>& mail) {
            ++arrivalWindowRequests;
            arrival.calls.append(QStringLiteral("RemoveMail %1").arg(tag));
            for (const NewMailItem& item : mail)
                arrival.calls.append(QStringLiteral("MailArraival %1|%2|%3|%4")
                                         .arg(item.nAccountIdx)
                                         .arg(item.strFrom, item.strDate, item.strSubject));
            arrival.calls.append(QStringLiteral("ShowForm"));
            if (arrival.onShowForm)
                arrival.onShowForm();
        });
    QObject::connect(&checker, &MailChecker::CheckCommandsEnabled, &checker,
        [this](bool enabled) { commandsEnabledHistory.append(enabled); });
}

void FakeMailCheckHost::AddRow(qint32 tag, bool checked, const QString& nextCheck)
{
    Row row;
    row.tag = tag;
    row.checked = checked;
    row.nextCheck = nextCheck;
    rows.append(row);
}

void FakeMailCheckHost::RemoveRow(qint32 tag)
{
    rows.removeIf([tag](const Row& row) { return row.tag == tag; });
}

FakeMailCheckHost::Row* FakeMailCheckHost::FindRow(qint32 tag) { return const_cast<Row*>(findRow(tag)); }

const FakeMailCheckHost::Row* FakeMailCheckHost::findRow(qint32 tag) const
{
    for (const Row& row : rows)
        if (row.tag == tag)
            return &row;
    return nullptr;
}

QString FakeMailCheckHost::Status(qint32 tag) const
{
    const Row* row = findRow(tag);
    return row && !row->statusHistory.isEmpty() ? row->statusHistory.last() : QString();
}

QStringList FakeMailCheckHost::StatusHistory(qint32 tag) const
{
    const Row* row = findRow(tag);
    return row ? row->statusHistory : QStringList();
}

int FakeMailCheckHost::ChecksStarted(qint32 tag) const
{
    return StatusHistory(tag).count(QStringLiteral("ﾒｰﾙﾁｪｯｸ中"));
}

QList<qint32> FakeMailCheckHost::RowTags() const
{
    QList<qint32> tags;
    for (const Row& row : rows)
        tags.append(row.tag);
    return tags;
}

bool FakeMailCheckHost::HasRow(qint32 tag) const { return findRow(tag) != nullptr; }

bool FakeMailCheckHost::IsRowChecked(qint32 tag) const
{
    const Row* row = findRow(tag);
    return row && row->checked;
}

QString FakeMailCheckHost::NextCheckText(qint32 tag) const
{
    const Row* row = findRow(tag);
    return row ? row->nextCheck : QString();
}

void FakeMailCheckHost::SetNextCheckText(qint32 tag, const QString& text)
{
    if (Row* row = FindRow(tag))
        row->nextCheck = text;
}
