#include "ui/helpers/Fun_SelText.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace Fun_SelText {

void SelText(QWidget* control)
{
    if (!control)
        control = QApplication::focusWidget();
    if (!control)
        return;
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->selectAll();
    else if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->lineEdit())
        combo->lineEdit()->selectAll();
    else if (auto* text = qobject_cast<QTextEdit*>(control))
        text->selectAll();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        plain->selectAll();
}

bool IsUserFocusIn(const QEvent& event)
{
    if (event.type() != QEvent::FocusIn)
        return false;
    switch (static_cast<const QFocusEvent&>(event).reason()) {
    case Qt::MouseFocusReason:
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
        return true;
    default:
        return false;
    }
}

} // namespace Fun_SelText
