#pragma once

// Moves the options and the account table between memory and the settings file.

// Reads the settings file over the defaults; expects an empty account table.
void LoadSettings();

// Replaces the settings file with the options and every surviving account.
void SaveSettings();
