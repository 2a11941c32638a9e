#pragma once

#include "mail/IAccountRows.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class MailChecker;

// The main window as the engine sees it: a list of rows, and a log of what
// the engine reported once Watch() listens to it. The arrival window's part
// is logged as the window applies it, one entry per step:
// "RemoveMail 0", "MailArraival 0|from|date|subject", "ShowForm".
class FakeMailCheckHost : public IAccountRows {
public:
    struct Row {
        qint32 tag = 0;
        bool checked = true;
        QString nextCheck;
        QStringList statusHistory; // every STATUS text reported, in order; the last is shown
    };
    struct ArrivalLog {
        QStringList calls;
        // Runs where the real window shows itself and runs pending events.
        std::function<void()> onShowForm;
    };

    // Logs what the checker reports, and keeps the seen lists it reports in
    // the account table, as the window's store would.
    void Watch(MailChecker& checker);

    void AddRow(qint32 tag, bool checked = true, const QString& nextCheck = QString());
    void RemoveRow(qint32 tag);
    Row* FindRow(qint32 tag);
    QString Status(qint32 tag) const;
    QStringList StatusHistory(qint32 tag) const;
    // How many checks of the row began ("ﾒｰﾙﾁｪｯｸ中" reported).
    int ChecksStarted(qint32 tag) const;

    QList<qint32> RowTags() const override;
    bool HasRow(qint32 tag) const override;
    bool IsRowChecked(qint32 tag) const override;
    QString NextCheckText(qint32 tag) const override;
    void SetNextCheckText(qint32 tag, const QString& text) override;

    QList<Row> rows;
    QList<bool> commandsEnabledHistory;
    QList<int> trayPictures;
    QString trayToolTip;
    int seenListStores = 0;
    int arrivalWindowRequests = 0;
    ArrivalLog arrival;
    // Called after every STATUS report, with the row's tag and the text.
    std::function<void(qint32, const QString&)> onStatus;

private:
    const Row* findRow(qint32 tag) const;
};
