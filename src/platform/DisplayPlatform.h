#pragma once

// Which of Qt's display platforms the program's windows go to on a Linux
// desktop. Only X11 lets a program place its own windows and keep one above
// the others, which the arrival window needs; on a Wayland session the
// program therefore runs on XWayland wherever there is one.
namespace DisplayPlatform {

// Before the application object exists: asks Qt for xcb where DISPLAY names
// an X server (XWayland included) and the user has not chosen a platform.
// Without DISPLAY, Qt's own choice stands (native Wayland). True when it asked.
bool PreferX11();

// Once the application object exists: programs started from this one (the
// browser, the file manager) choose their platform for themselves again.
void ForgetPreference();

} // namespace DisplayPlatform
