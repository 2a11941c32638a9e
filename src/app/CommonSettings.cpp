#include "app/CommonSettings.h"

#include "app/AppIdentity.h"

#include <QDir>

CommonSettingsRecord CommonSettings;

void SetOptionDefaults()
{
    CommonSettings.ShowArrivalFormTime = 0;
    CommonSettings.PopTimeOut = 10;
    CommonSettings.StartMinimizedWindow = false;
    CommonSettings.RecheckMailChecked = true;
    CommonSettings.FormClosedIsMinimized = true;
    CommonSettings.ArrivalFormPosition = FormPositionCode::TopLeft;
    CommonSettings.PasswordInKeyring = false;
    // "\Wave" beside the program on Windows; the same folder with the local
    // separator elsewhere, so the path names a real folder there too.
    CommonSettings.SoundFolder
        = QDir::toNativeSeparators(AppIdentity::ProgramFolder() + QStringLiteral("/Wave"));
}
