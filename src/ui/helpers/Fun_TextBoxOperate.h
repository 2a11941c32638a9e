#pragma once

class QWidget;

namespace Fun_TextBoxOperate {

// Empties every text box of the window (line edits, text edits, editable
// combo boxes), in the window's child order; other controls are left alone.
void ClearTextBoxes(QWidget& window);

} // namespace Fun_TextBoxOperate
