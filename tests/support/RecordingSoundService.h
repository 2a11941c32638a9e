#pragma once

#include "platform/gui/SoundService.h"

#include <QStringList>

// Records the sounds asked for instead of playing them; installed for its lifetime.
class RecordingSoundService final : public SoundService {
public:
    RecordingSoundService() { Install(this); }
    ~RecordingSoundService() override { Install(nullptr); }

    RecordingSoundService(const RecordingSoundService&) = delete;
    RecordingSoundService& operator=(const RecordingSoundService&) = delete;

    void PlayAsyncNoStop(const QString& path) override { played.append(path); }

    QStringList played;
};
