#pragma once

#include <functional>

// Keeps the passwords in the desktop keyring while PasswordInKeyring is on,
// and brings them back into the settings file when it is turned off. A
// password leaves the file only after the keyring has confirmed it, so no
// failure of the keyring can lose one. Every keyring call is asynchronous.
namespace KeyringPasswords {

// Whether the user has been told about trouble with the keyring this run;
// whatever goes wrong later stays quiet.
extern bool TroubleTold;

// Start-up: reads every password that only the keyring holds, then hands
// the keyring whatever passwords the file still holds.
void ReadAll();

// Runs `then` once no read started by ReadAll is pending; at once when none is.
void WhenRead(std::function<void()> then);

// After a save has written the file: the keyring follows it. Entries of
// deleted accounts, of OAuth2 accounts and of passwords now back in the file
// are removed; with the option on, each password the file still holds is
// written to the keyring, and once the keyring confirms, the file is saved
// without it.
void FollowSave();

} // namespace KeyringPasswords
