#pragma once

#include <QString>

// Plays notification sounds. The program plays through the sound device;
// tests install a recorder.
class SoundService {
public:
    virtual ~SoundService() = default;

    // Starts the WAV file in the background and returns at once. While an
    // earlier sound is still playing the new one is dropped, never cut in.
    virtual void PlayAsyncNoStop(const QString& path) = 0;

    // The installed service, or the real sound device when none is installed.
    static SoundService& Current();
    static void Install(SoundService* service);
};
