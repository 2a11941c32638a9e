#include "startup/AppMain.h"

#include "accounts/KeyringPasswords.h"
#include "app/AppIdentity.h"
#include "app/CommonSettings.h"
#include "platform/AppFolders.h"
#include "platform/Cp932.h"
#include "platform/MessageBoxService.h"
#include "platform/SingleInstance.h"
#include "settings/AppSettings.h"

namespace AppMain {

bool StartUp(const SingleInstance& instance)
{
    if (!instance.IsFirst()) {
        // Nothing has been read yet, and nothing will be written.
        MessageBoxService::Current().Show(QStringLiteral("２重起動でありんすえ"),
            MessageBoxService::Icon::Information, MessageBoxService::Buttons::Ok, AppIdentity::AppTitle());
        return false;
    }
    if (!Cp932::IsAvailable()) {
        // Every text of the file would come back as "?" at the first save.
        MessageBoxService::Current().Show(
            QStringLiteral("このｼｽﾃﾑにはｺｰﾄﾞﾍﾟｰｼﾞ932(Shift_JIS)の文字変換がありません。\r\n"
                           "設定ﾌｧｲﾙを書きかえずに終了します。\r\n"),
            MessageBoxService::Icon::Exclamation, MessageBoxService::Buttons::Ok, AppIdentity::AppTitle());
        return false;
    }
    // A copy in a system folder keeps its settings, spam copies and sounds in
    // the user's configuration folder, which may not exist yet.
    AppFolders::MakeProgramSettingsFolder();
    SetOptionDefaults();
    LoadSettings();
    // The window comes up meanwhile; its first check waits for these reads.
    KeyringPasswords::ReadAll();
    return true;
}

} // namespace AppMain
