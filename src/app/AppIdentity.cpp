#include "app/AppIdentity.h"

#include "platform/ExecutableInfo.h"

namespace AppIdentity {

QString AppTitle() { return QStringLiteral("タンドレル"); }

QString ProgramFolder() { return ExecutableInfo::Folder(); }

} // namespace AppIdentity
