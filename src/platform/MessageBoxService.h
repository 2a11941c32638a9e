#pragma once

#include <QString>

// How the core asks or tells the user something. The program answers with
// real message boxes; tests answer from a script.
class MessageBoxService {
public:
    enum class Icon { Information, Exclamation, Question };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~MessageBoxService() = default;

    // Modal: returns when the user has answered. Text is always plain text.
    virtual Answer Show(const QString& text, Icon icon, Buttons buttons, const QString& title) = 0;

    // The service in use; without one installed, every box is answered at once
    // with OK (or No), so a headless core never blocks.
    static MessageBoxService& Current();
    static void Install(MessageBoxService* service);
};
