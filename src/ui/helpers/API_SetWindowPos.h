#pragma once

class QWidget;

namespace API_SetWindowPos {

// Keeps the window above all ordinary windows, at its place and size. With
// activate false the keyboard focus stays where it is.
void SetTopMost(QWidget& window, bool activate);

} // namespace API_SetWindowPos
