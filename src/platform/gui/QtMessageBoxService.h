#pragma once

#include "platform/MessageBoxService.h"

// Message boxes as real modal windows; the text is never taken as rich text.
class QtMessageBoxService final : public MessageBoxService {
public:
    Answer Show(const QString& text, Icon icon, Buttons buttons, const QString& title) override;
};
