#pragma once

#include "platform/BusyService.h"

// Busy when the test says so; installed for its lifetime.
class ScriptedBusyService final : public BusyService {
public:
    ScriptedBusyService() { Install(this); }
    ~ScriptedBusyService() override { Install(nullptr); }

    ScriptedBusyService(const ScriptedBusyService&) = delete;
    ScriptedBusyService& operator=(const ScriptedBusyService&) = delete;

    bool IsBusy() override { return busy; }
    void SetBusy(bool on)
    {
        busy = on;
        Q_EMIT BusyChanged();
    }

    bool busy = false;
};
