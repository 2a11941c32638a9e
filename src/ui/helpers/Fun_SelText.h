#pragma once

class QWidget;

namespace Fun_SelText {

// Selects the whole text of the control, or of the focused control when none
// is given. Controls without text are passed over.
void SelText(QWidget* control = nullptr);

}  // namespace Fun_SelText
