#pragma once

#include <QString>
#include <QtGlobal>

// The pop-up that announces new mail, as a check drives it.
class IArrivalWindow {
public:
    virtual ~IArrivalWindow() = default;

    // Drops every row of the account.
    virtual void RemoveMail(qint32 nAccountIdx) = 0;
    // Appends one row; mind the order: sender, date, subject.
    virtual void MailArraival(
        qint32 nAccountIdx, const QString& strFrom, const QString& strDate, const QString& strSubject)
        = 0;
    // Places, shows without activating, starts the countdown and plays the sound.
    virtual void ShowForm() = 0;
};
