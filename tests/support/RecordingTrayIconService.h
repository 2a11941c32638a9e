#pragma once

#include "platform/gui/TrayIconService.h"

#include <QList>

// Records every request to the notification area and answers with a chosen
// result; installed for its lifetime.
class RecordingTrayIconService final : public TrayIconService {
public:
    struct Call {
        qint32 dwMessage;
        NotifyIconRecord record;
    };

    RecordingTrayIconService() { Install(this); }
    ~RecordingTrayIconService() override { Install(nullptr); }

    RecordingTrayIconService(const RecordingTrayIconService&) = delete;
    RecordingTrayIconService& operator=(const RecordingTrayIconService&) = delete;

    bool Shell_NotifyIcon(qint32 dwMessage, const NotifyIconRecord& record) override
    {
        calls.append({ dwMessage, record });
        return result;
    }
    bool IsAvailable() const override { return available; }

    // Just the messages, in order.
    QList<qint32> Messages() const
    {
        QList<qint32> messages;
        for (const Call& call : calls)
            messages.append(call.dwMessage);
        return messages;
    }

    QList<Call> calls;
    bool result = true;
    bool available = true;
};
