#pragma once

#include "mail/IArrivalWindow.h"
#include "mail/IMailCheckHost.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Records what a check tells the arrival window, one entry per call:
// "RemoveMail 0", "MailArraival 0|from|date|subject", "ShowForm".
class FakeArrivalWindow : public IArrivalWindow {
public:
    void RemoveMail(qint32 nAccountIdx) override;
    void MailArraival(qint32 nAccountIdx, const QString& strFrom, const QString& strDate,
        const QString& strSubject) override;
    void ShowForm() override;

    QStringList calls;
    // Runs inside ShowForm, where the real window runs pending events.
    std::function<void()> onShowForm;
};

// The main window as the engine sees it: a list of rows and a log of what was
// done to them, to the tray and to the arrival window.
class FakeMailCheckHost : public IMailCheckHost {
public:
    struct Row {
        qint32 tag = 0;
        bool checked = true;
        QString nextCheck;
        QString status;
        QStringList statusHistory; // every STATUS text written, in order
    };

    void AddRow(qint32 tag, bool checked = true, const QString& nextCheck = QString());
    void RemoveRow(qint32 tag);
    Row* FindRow(qint32 tag);
    QString Status(qint32 tag) const;
    QStringList StatusHistory(qint32 tag) const;
    // How many checks of the row began ("ﾒｰﾙﾁｪｯｸ中" written).
    int ChecksStarted(qint32 tag) const;

    QList<qint32> RowTags() const override;
    bool HasRow(qint32 tag) const override;
    bool IsRowChecked(qint32 tag) const override;
    QString NextCheckText(qint32 tag) const override;
    void SetNextCheckText(qint32 tag, const QString& text) override;
    void SetStatusText(qint32 tag, const QString& text) override;
    void SetCheckCommandsEnabled(bool enabled) override;
    IArrivalWindow& ArrivalWindow() override;
    void SetTrayPicture(int nPicture) override;
    void SetTrayToolTip(const QString& text) override { trayToolTip = text; }
    void StoreSeenLists() override { ++seenListStores; }

    QList<Row> rows;
    QList<bool> commandsEnabledHistory;
    QList<int> trayPictures;
    QString trayToolTip;
    int seenListStores = 0;
    int arrivalWindowRequests = 0;
    FakeArrivalWindow arrival;
    // Called after every STATUS write, with the row's tag and the text.
    std::function<void(qint32, const QString&)> onStatus;

private:
    const Row* findRow(qint32 tag) const;
};
