#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// Hands a web address, a mail address or a folder to whatever the desktop uses
// for it, or starts a program, without waiting. The program uses the
// desktop's own handlers; tests install a recorder of addresses instead, and
// let programs start for real.
class ShellOpenService {
public:
    virtual ~ShellOpenService() = default;

    // Returns false when the desktop could not start a handler; nobody is told.
    virtual bool OpenUrl(const QUrl& url) = 0;

    // Starts a program with its arguments as given, through no shell, and
    // leaves it running on its own; false when it could not be started.
    virtual bool StartDetached(const QString& program, const QStringList& arguments);

    // A local folder, opened in the desktop's file manager. Blanks and
    // non-ASCII characters in the path are passed on intact.
    bool OpenFolder(const QString& strFolder);

    // The service in use; without one installed, the desktop's default handlers.
    static ShellOpenService& Current();
    static void Install(ShellOpenService* service);
};
