#pragma once

#include "mail/IAccountRows.h"

#include <QtGlobal>

#include <utility>

class IArrivalWindow;

// Rows the arrival window shows, and the characters of their texts
// (subject, sender and date), as a check finds them.
struct ShownArrivalRows {
    qsizetype rows = 0;
    qsizetype characters = 0;
};

// What a check needs from the main window besides its rows.
class IMailCheckHost : public IAccountRows {
public:
    // The arrival window, created and loaded on first use, kept for the run.
    virtual IArrivalWindow& ArrivalWindow() = 0;
    // What the arrival window shows now, of this account and of the others;
    // nothing while it is not loaded (asking does not load it).
    virtual std::pair<ShownArrivalRows, ShownArrivalRows> ArrivalRowsShown(qint32 nAccountIdx) const
    {
        Q_UNUSED(nAccountIdx);
        return {};
    }
    // One of the TrayPictureCode pictures.
    virtual void SetTrayPicture(int nPicture) = 0;
    // The tray's tip: the application title, then the accounts that fail.
    virtual void SetTrayToolTip(const QString& text) = 0;
    // Writes the settings file after a check changed a seen list, so that
    // an end without a save (a crash, a lost display) announces nothing twice.
    virtual void StoreSeenLists() = 0;
};
