#pragma once

// Moves the options and the account table between memory and the settings file.

// Reads the settings file over the defaults; expects an empty account table.
void LoadSettings();

// Replaces the settings file with the options and every surviving account;
// false when the file could not be written (the user has been told).
bool SaveSettings();
