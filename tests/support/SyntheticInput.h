#pragma once

#include <QPoint>
#include <QString>

// Input sent through the X server's test extension (xdotool), so it reaches
// the program exactly as a user's mouse and keyboard would: through the
// window manager, pointer grabs of popups and the X input focus.
namespace SyntheticInput {

enum class Button { Left = 1, Right = 3 };

// Moves the pointer to the screen position and clicks there.
bool Click(QPoint global, Button button = Button::Left);
// Two quick clicks there, which the program takes for a double-click.
bool DoubleClick(QPoint global);
// Clicks at a position inside an X window, wherever the X server has placed
// it (a tray icon lives inside the tray host's window, unknown to Qt).
bool ClickInWindow(quintptr window, QPoint local, Button button = Button::Left);
// Types the text into whatever holds the X input focus.
bool Type(const QString& text);
// The X window that holds the input focus, 0 when none can be told.
quintptr FocusWindow();
// Presses a key combination in xdotool's spelling, such as "ctrl+n".
bool Key(const QString& combination);
// A drag in its three parts, so that the program and the window manager can
// answer each part before the next arrives, as they do for a hand on a mouse.
bool Press(QPoint global, Button button = Button::Left);
bool MoveTo(QPoint global);
bool Release(Button button = Button::Left);
// Where the X server has the window now. During a drag the window manager
// may tell the program only once the drag ends.
QPoint WindowPlace(quintptr window);

} // namespace SyntheticInput
