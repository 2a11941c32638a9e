#pragma once

// Which picture the notification-area icon shows. The check engine names the
// picture and the main window draws it, so both read the numbers from here.
namespace TrayPictureCode {

constexpr int Idle = 1;
// A check is running.
constexpr int Checking = 2;
// No check runs, and the last check of a ticked account failed.
constexpr int Failing = 3;
// New mail waits for the user to be no longer busy.
constexpr int Waiting = 4;

} // namespace TrayPictureCode
