#include "app/CommonSettings.h"

#include "platform/AppFolders.h"
#include "platform/FormPositionCode.h"

#include <QDir>

namespace {

// "\Wave" beside the settings file, which is beside the program wherever the
// program's folder is the user's; with the local separator, so the path names
// a real folder there too.
QString waveFolder()
{
    return QDir::toNativeSeparators(AppFolders::ProgramSettingsFolder() + QStringLiteral("/Wave"));
}

using R = CommonSettingsRecord;

constexpr CommonOption kOptions[] {
    { u"RecheckMailChecked", &R::RecheckMailChecked, true },
    { u"StartMinimizedWindow", &R::StartMinimizedWindow, false },
    { u"PopTimeOut", &R::PopTimeOut, qint32(10) },
    { u"ShowArrivalFormTime", &R::ShowArrivalFormTime, qint32(0) },
    { u"FormClosedIsMinimized", &R::FormClosedIsMinimized, true },
    { u"ArrivalFormPosition", &R::ArrivalFormPosition, qint32(FormPositionCode::TopLeft) },
    { u"ArrivalSound", &R::ArrivalSound, std::monostate() },
    { u"SoundFolder", &R::SoundFolder, &waveFolder },
    { u"PasswordInKeyring", &R::PasswordInKeyring, false, false },
    { u"OpenMailWith", &R::OpenMailWith, std::monostate(), false },
    { u"QuietWhenBusy", &R::QuietWhenBusy, true, false },
    { u"SpamCheck", &R::SpamCheck, false, false },
    { u"SpamDelete", &R::SpamDelete, false, false },
};

// Every default the table gives as a constant; computed ones only when asked.
void applyDefaults(CommonSettingsRecord& record, bool computed)
{
    for (const CommonOption& option : kOptions)
        std::visit(
            [&](auto member) {
                using Field = std::remove_reference_t<decltype(record.*member)>;
                if constexpr (std::is_same_v<Field, QString>) {
                    if (const auto* make = std::get_if<QString (*)()>(&option.byDefault); make && computed)
                        record.*member = (*make)();
                } else if (const auto* value = std::get_if<Field>(&option.byDefault)) {
                    record.*member = *value;
                }
            },
            option.member);
}

} // namespace

CommonSettingsRecord::CommonSettingsRecord() { applyDefaults(*this, false); }

std::span<const CommonOption> CommonOptions() { return kOptions; }

CommonSettingsRecord CommonSettings;

void SetOptionDefaults() { applyDefaults(CommonSettings, true); }
