#include "app/AppIdentity.h"

namespace AppIdentity {

QString AppTitle() { return QStringLiteral("タンドレル"); }

} // namespace AppIdentity
