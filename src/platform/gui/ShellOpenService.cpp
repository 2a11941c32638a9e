#include "platform/gui/ShellOpenService.h"

#include <QDesktopServices>

namespace {

class DesktopShellOpenService final : public ShellOpenService {
public:
    bool OpenUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

ShellOpenService* installed = nullptr;

}  // namespace

bool ShellOpenService::OpenFolder(const QString& strFolder)
{
    // A file URL rather than a command line: no quoting to get wrong, and the
    // path reaches the handler exactly as it is spelt.
    return OpenUrl(QUrl::fromLocalFile(strFolder));
}

ShellOpenService& ShellOpenService::Current()
{
    static DesktopShellOpenService desktop;
    return installed ? *installed : desktop;
}

void ShellOpenService::Install(ShellOpenService* service)
{
    installed = service;
}
