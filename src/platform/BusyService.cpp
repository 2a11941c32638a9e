#include "platform/BusyService.h"

#include "platform/InstalledService.h"

namespace {

class NeverBusy final : public BusyService {
public:
    bool IsBusy() override { return false; }
};

} // namespace

BusyService& BusyService::Current() { return InstalledService<BusyService>::Current<NeverBusy>(); }

void BusyService::Install(BusyService* service) { InstalledService<BusyService>::Install(service); }
