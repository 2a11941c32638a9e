#include "platform/gui/SoundService.h"

#include "platform/InstalledService.h"
#include "platform/gui/QtSoundService.h"

SoundService& SoundService::Current() { return InstalledService<SoundService>::Current<QtSoundService>(); }

void SoundService::Install(SoundService* service) { InstalledService<SoundService>::Install(service); }
