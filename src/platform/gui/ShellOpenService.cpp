#include "platform/gui/ShellOpenService.h"

#include "platform/InstalledService.h"

#include <QDesktopServices>
#include <QProcess>

namespace {

class DesktopShellOpenService final : public ShellOpenService {
public:
    bool OpenUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

} // namespace

bool ShellOpenService::OpenFolder(const QString& strFolder)
{
    // A file URL rather than a command line: no quoting to get wrong, and the
    // path reaches the handler exactly as it is spelt.
    return OpenUrl(QUrl::fromLocalFile(strFolder));
}

bool ShellOpenService::StartDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

ShellOpenService& ShellOpenService::Current()
{
    return InstalledService<ShellOpenService>::Current<DesktopShellOpenService>();
}

void ShellOpenService::Install(ShellOpenService* service)
{
    InstalledService<ShellOpenService>::Install(service);
}
