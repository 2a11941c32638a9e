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
};
