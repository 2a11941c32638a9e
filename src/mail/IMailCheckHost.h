#pragma once

#include "mail/IAccountRows.h"

class IArrivalWindow;

// What a check needs from the main window besides its rows.
class IMailCheckHost : public IAccountRows {
public:
    // The arrival window, created and loaded on first use, kept for the run.
    virtual IArrivalWindow& ArrivalWindow() = 0;
    // One of the TrayPictureCode pictures.
    virtual void SetTrayPicture(int nPicture) = 0;
    // The tray's tip: the application title, then the accounts that fail.
    virtual void SetTrayToolTip(const QString& text) = 0;
    // Writes the settings file after a check changed a seen list, so that
    // an end without a save (a crash, a lost display) announces nothing twice.
    virtual void StoreSeenLists() = 0;
};
