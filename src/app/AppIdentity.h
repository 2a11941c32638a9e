#pragma once

#include <QString>

namespace AppIdentity {

// "タンドレル": the main caption, every message box title, the tray tip.
QString AppTitle();

} // namespace AppIdentity
