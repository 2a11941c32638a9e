#pragma once

// Which picture the notification-area icon shows. The check engine names the
// picture and the main window draws it, so both read the numbers from here.
namespace TrayPictureCode {

constexpr int Idle = 1;
// A check is running.
constexpr int Checking = 2;

} // namespace TrayPictureCode
