#pragma once

#include "platform/gui/ShellOpenService.h"

#include <QList>
#include <QUrl>

// Records what would have been handed to the desktop; installs itself for its lifetime.
class RecordingShellOpenService final : public ShellOpenService {
public:
    RecordingShellOpenService() { Install(this); }
    ~RecordingShellOpenService() override { Install(nullptr); }
    RecordingShellOpenService(const RecordingShellOpenService&) = delete;
    RecordingShellOpenService& operator=(const RecordingShellOpenService&) = delete;

    bool OpenUrl(const QUrl& url) override
    {
        opened.append(url);
        return true;
    }

    QList<QUrl> opened;
};
