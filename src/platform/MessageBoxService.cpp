#include "platform/MessageBoxService.h"

#include "platform/InstalledService.h"

namespace {

class SilentMessageBoxService final : public MessageBoxService {
public:
    Answer Show(const QString&, Icon, Buttons buttons, const QString&) override
    {
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
};

} // namespace

MessageBoxService& MessageBoxService::Current()
{
    return InstalledService<MessageBoxService>::Current<SilentMessageBoxService>();
}

void MessageBoxService::Install(MessageBoxService* service)
{
    InstalledService<MessageBoxService>::Install(service);
}
