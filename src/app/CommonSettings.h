#pragma once

#include "platform/FormPositionCode.h"

#include <QMap>
#include <QString>
#include <QtGlobal>

// The program-wide options, stored in the [Common] section.
struct CommonSettingsRecord {
    qint32 ShowArrivalFormTime = 0; // seconds; 0 = the arrival window stays until closed
    qint32 PopTimeOut = 10; // seconds per wait of a POP3 session
    bool StartMinimizedWindow = false;
    bool RecheckMailChecked = true; // announce every message, not only unseen ones
    bool FormClosedIsMinimized = true;
    qint32 ArrivalFormPosition = FormPositionCode::TopLeft;
    QString ArrivalSound; // file name inside SoundFolder; empty = silent
    QString SoundFolder;
    bool PasswordInKeyring = false; // passwords in the desktop keyring, not in the file
    // The [Common] keys that change an OAuth2 provider's values, by key; only
    // the ones the file holds (see OAuthProviders).
    QMap<QString, QString> OAuthKeys;
};

// The one set of options of the program.
extern CommonSettingsRecord CommonSettings;

// Gives every option its default (ArrivalSound keeps whatever it holds).
void SetOptionDefaults();
