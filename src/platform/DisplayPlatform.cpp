#include "platform/DisplayPlatform.h"

#include <QByteArray>
#include <QtGlobal>

namespace {

constexpr char Variable[] = "QT_QPA_PLATFORM";
bool asked = false;

} // namespace

namespace DisplayPlatform {

bool PreferX11()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // An empty choice counts as none, as Qt itself takes it.
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty(Variable))
        return false;
    // Wayland stays the way out when the X server turns out unusable.
    asked = qputenv(Variable, QByteArrayLiteral("xcb;wayland"));
#endif
    return asked;
}

void ForgetPreference()
{
    if (asked)
        qunsetenv(Variable);
    asked = false;
}

} // namespace DisplayPlatform
