#include "app/CommonSettings.h"

#include "app/AppIdentity.h"

CommonSettingsRecord CommonSettings;

void SetOptionDefaults()
{
    CommonSettings.ShowArrivalFormTime = 0;
    CommonSettings.PopTimeOut = 10;
    CommonSettings.StartMinimizedWindow = false;
    CommonSettings.RecheckMailChecked = true;
    CommonSettings.FormClosedIsMinimized = true;
    CommonSettings.ArrivalFormPosition = 5;
    CommonSettings.SoundFolder = AppIdentity::ProgramFolder() + QStringLiteral("\\Wave");
}
