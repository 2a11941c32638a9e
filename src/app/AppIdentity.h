#pragma once

#include <QString>

namespace AppIdentity {

// "タンドレル": the main caption, every message box title, the tray tip.
QString AppTitle();

// The folder of the running executable, without a trailing separator.
QString ProgramFolder();

} // namespace AppIdentity
