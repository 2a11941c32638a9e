#include "platform/MessageBoxService.h"

namespace {

class SilentMessageBoxService final : public MessageBoxService {
public:
    Answer Show(const QString&, Icon, Buttons buttons, const QString&) override
    {
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
};

MessageBoxService* installed = nullptr;

}  // namespace

MessageBoxService& MessageBoxService::Current()
{
    static SilentMessageBoxService silent;
    return installed ? *installed : silent;
}

void MessageBoxService::Install(MessageBoxService* service)
{
    installed = service;
}
