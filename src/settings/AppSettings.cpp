#include "settings/AppSettings.h"

// Placeholder until the settings file module lands.
void LoadSettings() {}
void SaveSettings() {}
