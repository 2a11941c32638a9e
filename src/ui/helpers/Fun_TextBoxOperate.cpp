#include "ui/helpers/Fun_TextBoxOperate.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace Fun_TextBoxOperate {

void ClearTextBoxes(QWidget& window)
{
    const QList<QWidget*> controls = window.findChildren<QWidget*>();
    for (QWidget* control : controls) {
        // The line edit inside an editable combo box is cleared through the box.
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            if (!qobject_cast<QComboBox*>(edit->parentWidget()))
                edit->clear();
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            if (combo->isEditable())
                combo->clearEditText();
        } else if (auto* text = qobject_cast<QTextEdit*>(control)) {
            text->clear();
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
            plain->clear();
        }
    }
}

} // namespace Fun_TextBoxOperate
