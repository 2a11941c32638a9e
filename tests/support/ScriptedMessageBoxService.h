#pragma once

#include "platform/MessageBoxService.h"

#include <QList>
#include <QString>

#include <functional>

// Answers message boxes from a script and records every box asked for.
// Installs itself for its lifetime, so a test only has to create one.
class ScriptedMessageBoxService final : public MessageBoxService {
public:
    // One box as the core asked for it.
    struct Shown {
        QString text;
        Icon icon;
        Buttons buttons;
        QString title;
    };

    ScriptedMessageBoxService();
    ~ScriptedMessageBoxService() override;

    ScriptedMessageBoxService(const ScriptedMessageBoxService&) = delete;
    ScriptedMessageBoxService& operator=(const ScriptedMessageBoxService&) = delete;

    // Answers are taken in order; when the queue is empty a box is answered
    // with OK (or No for a Yes/No box), as a user pressing Enter or Escape would.
    void QueueAnswer(Answer answer);

    // Runs while a box is "open", before it is answered: what the user does
    // meanwhile (for example making a file writable).
    void SetWhileOpen(std::function<void(const Shown&)> action);

    const QList<Shown>& shown() const { return m_shown; }
    void clear() { m_shown.clear(); }

    Answer Show(const QString& text, Icon icon, Buttons buttons, const QString& title) override;

private:
    QList<Shown> m_shown;
    QList<Answer> m_answers;
    std::function<void(const Shown&)> m_whileOpen;
};
