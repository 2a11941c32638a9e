#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures, drawn rather than loaded: an envelope for the
// notification area and the window icon, and the same envelope in yellow with
// a green arrow while a check runs, with a red warning mark while an
// account's last check failed, and with an orange disc while new mail waits
// for the user to be no longer busy. Each icon carries 16 to 64 pixel sizes.
namespace TrayPictures {

QIcon Idle();
QIcon Checking();
QIcon Failing();
QIcon Waiting();

// One size of the idle picture, for drawing it onto a window face.
QPixmap IdlePixmap(int size);

} // namespace TrayPictures
