#pragma once

#include "mail/CheckBudget.h"
#include "platform/MessageBoxService.h"
#include "platform/gui/FlatListView.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <array>

class BorderlessChrome;
class QLabel;
class QTimer;

// The pop-up that announces new mail: a borderless face in the configured
// screen corner, on top of other windows without taking the focus, with a
// countdown that closes it. Closing unloads it: rows, countdown, sort order and
// a dragged position are gone, and the next use loads it afresh.
class frmArrival final : public QWidget {
    Q_OBJECT

public:
    frmArrival();
    ~frmArrival() override;

    // Runs the load step unless the window is loaded already; it stays hidden.
    void Load();
    bool IsLoaded() const { return m_face != nullptr; }

    // Drops every row of the account.
    void RemoveMail(qint32 nAccountIdx);
    // Appends one row; mind the order: sender, date, subject.
    void MailArraival(
        qint32 nAccountIdx, const QString& strFrom, const QString& strDate, const QString& strSubject);
    // Appends a row for each message, in their order, as MailArraival would one by one.
    void MailArraivals(const QList<NewMailItem>& mail);
    // Places, shows without activating, starts the countdown and plays the
    // sound, unless the rows come late and the sound would only startle.
    void ShowForm(bool playSound = true);
    // What the rows shown cost, of this account and of the others (nothing while unloaded).
    ArrivalListCost ListCost(qint32 nAccountIdx) const;
    // What one more row costs the list beyond the texts it shares with the mail found.
    static qint64 RowCost();

    // The columns of lvArrival, 0-based as cells are addressed.
    enum ArrivalColumn : int { ColUserTitle = 0, ColSubject = 1, ColFrom = 2, ColDate = 3 };

    // The controls while the window is loaded, nullptr otherwise.
    QLabel* lblTitle = nullptr;
    // Shows "(seconds)"; its "Tag" property holds the remaining seconds as text.
    QLabel* lblDisappear = nullptr;
    std::array<QLabel*, 2> lblClose {};
    FlatListView* lvArrival = nullptr;
    QTimer* tmrDisappear = nullptr;

    // The text of the details message for a row.
    static QString DetailsText(const FlatListView::Row& row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void Unload();
    void lblClose_Click(int Index);
    void lvArrival_ColumnClick(int nColumn);
    void lvArrival_MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons);
    void lvArrival_DblClick(int row);
    // A message box once the event that asked for it has been handled.
    void ShowMessageLater(const QString& text, MessageBoxService::Icon icon);
    void tmrDisappear_Timer();

    BorderlessChrome* m_chrome;
    // Holds every control, so that unloading drops them all at once.
    QPointer<QWidget> m_face;
    QPixmap m_facePicture;
};
