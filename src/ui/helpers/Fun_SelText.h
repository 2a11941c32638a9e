#pragma once

class QEvent;
class QWidget;

namespace Fun_SelText {

// Selects the whole text of the control, or of the focused control when none
// is given. Controls without text are passed over.
void SelText(QWidget* control = nullptr);

// True for a focus-in that the user brought about with the mouse or the
// keyboard, the only ones that select a box's whole text. The focus coming
// back from the box's own context menu is not one: selecting then would make
// Paste, Cut and Delete act on all of it.
bool IsUserFocusIn(const QEvent& event);

} // namespace Fun_SelText
