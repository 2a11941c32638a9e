#include "platform/gui/SoundService.h"

#include "platform/gui/QtSoundService.h"

namespace {
SoundService* installed = nullptr;
}

SoundService& SoundService::Current()
{
    static QtSoundService real;
    return installed ? *installed : real;
}

void SoundService::Install(SoundService* service)
{
    installed = service;
}
