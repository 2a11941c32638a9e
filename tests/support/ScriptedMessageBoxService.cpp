#include "ScriptedMessageBoxService.h"

ScriptedMessageBoxService::ScriptedMessageBoxService() { MessageBoxService::Install(this); }

ScriptedMessageBoxService::~ScriptedMessageBoxService() { MessageBoxService::Install(nullptr); }

void ScriptedMessageBoxService::QueueAnswer(Answer answer) { m_answers.append(answer); }

void ScriptedMessageBoxService::SetWhileOpen(std::function<void(const Shown&)> action)
{
    m_whileOpen = std::move(action);
}

MessageBoxService::Answer ScriptedMessageBoxService::Show(
    const QString& text, Icon icon, Buttons buttons, const QString& title)
{
    m_shown.append(Shown { text, icon, buttons, title });
    if (m_whileOpen)
        m_whileOpen(m_shown.constLast());
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}
