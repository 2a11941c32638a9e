#include "FakeMailCheckHost.h"

void FakeArrivalWindow::RemoveMail(qint32 nAccountIdx)
{
    calls.append(QStringLiteral("RemoveMail %1").arg(nAccountIdx));
}

void FakeArrivalWindow::MailArraival(
    qint32 nAccountIdx, const QString& strFrom, const QString& strDate, const QString& strSubject)
{
    calls.append(
        QStringLiteral("MailArraival %1|%2|%3|%4").arg(nAccountIdx).arg(strFrom, strDate, strSubject));
}

void FakeArrivalWindow::ShowForm()
{
    calls.append(QStringLiteral("ShowForm"));
    if (onShowForm)
        onShowForm();
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

FakeMailCheckHost::Row* FakeMailCheckHost::FindRow(qint32 tag)
{
    for (Row& row : rows)
        if (row.tag == tag)
            return &row;
    return nullptr;
}

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
    return row ? row->status : QString();
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

void FakeMailCheckHost::SetStatusText(qint32 tag, const QString& text)
{
    if (Row* row = FindRow(tag)) {
        row->status = text;
        row->statusHistory.append(text);
    }
    if (onStatus)
        onStatus(tag, text);
}

void FakeMailCheckHost::SetCheckCommandsEnabled(bool enabled) { commandsEnabledHistory.append(enabled); }

IArrivalWindow& FakeMailCheckHost::ArrivalWindow()
{
    ++arrivalWindowRequests;
    return arrival;
}

void FakeMailCheckHost::SetTrayPicture(int nPicture) { trayPictures.append(nPicture); }
