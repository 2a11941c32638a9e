#pragma once

#include "platform/gui/SoundService.h"

#include <QPointer>

class QSoundEffect;

// One sound effect, created on first use and owned by the application object,
// so it goes with the application and not after it. No sound device, no sound.
class QtSoundService final : public SoundService {
public:
    void PlayAsyncNoStop(const QString& path) override;

private:
    QPointer<QSoundEffect> m_effect;
};
