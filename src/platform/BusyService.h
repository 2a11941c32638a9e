#pragma once

#include <QObject>

// Whether the user is busy: the desktop's do-not-disturb is on, or the
// window the user works in fills the screen. New mail is then announced
// later and quietly. The program asks the desktop; tests install their own.
class BusyService : public QObject {
    Q_OBJECT

public:
    // What can be followed is kept up to date; what cannot is read at the call.
    virtual bool IsBusy() = 0;

    // The installed service; without one nobody is ever busy.
    static BusyService& Current();
    static void Install(BusyService* service);

Q_SIGNALS:
    // Something busyness depends on has changed; IsBusy says what it is now.
    void BusyChanged();
};
