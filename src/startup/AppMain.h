#pragma once

class SingleInstance;

namespace AppMain {

// Everything before the main window: refuses a second instance and a system
// without a code page 932 converter (each with its message), sets the option
// defaults and loads the settings file. Returns false when this process must
// end at once.
bool StartUp(const SingleInstance& instance);

} // namespace AppMain
