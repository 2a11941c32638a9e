#include "platform/AppFolders.h"

#include "platform/ExecutableInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AppFolders {

namespace {

    // The configuration root as the XDG base directories define it: a relative
    // value is to be ignored, or the settings would move with the working folder.
    QString configRoot(const QProcessEnvironment& environment)
    {
        const QString configured = environment.value(QStringLiteral("XDG_CONFIG_HOME"));
        if (!configured.isEmpty() && QDir::isAbsolutePath(configured))
            return configured;
        QString home = environment.value(QStringLiteral("HOME"));
        if (home.isEmpty())
            home = QDir::homePath();
        return home + QStringLiteral("/.config");
    }

    // Each missing folder of the path made owner-only: the settings hold passwords.
    void makePrivatePath(const QString& folder)
    {
        const QFileInfo info(folder);
        if (folder.isEmpty() || info.exists())
            return;
        makePrivatePath(info.absolutePath());
        ::mkdir(QFile::encodeName(folder).constData(), S_IRWXU);
    }

    QStringList wavFiles(const QString& folder)
    {
        if (folder.isEmpty())
            return {};
        // Matched without regard to case, as the wildcard does on Windows: "Ding.WAV" is a sound too.
        return QDir(folder).entryList({ QStringLiteral("*.wav") }, QDir::Files);
    }

    QString fileIn(const QString& folder, const QString& name)
    {
        if (folder.isEmpty())
            return {};
        const QString path = folder + u'/' + name;
        const QFileInfo info(path);
        return info.exists() && !info.isDir() ? path : QString();
    }

} // namespace

QString SettingsFolder(const QString& executableFolder, const QString& fileName, bool userMayWrite,
    const QProcessEnvironment& environment)
{
    // An existing file stays where it is, even where it can no longer be
    // written: the read-only warning tells the user, and nothing is forked.
    if (userMayWrite || QFileInfo::exists(QDir(executableFolder).filePath(fileName)))
        return executableFolder;
    return QDir::cleanPath(configRoot(environment) + QStringLiteral("/tandrel"));
}

QString SettingsFolder(
    const QString& executableFolder, const QString& fileName, const QProcessEnvironment& environment)
{
    return SettingsFolder(executableFolder, fileName, UserMayWrite(executableFolder), environment);
}

bool UserMayWrite(const QString& folder)
{
    // access() would judge by the real user; the write is made as the effective one.
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

QString ProgramSettingsFolder()
{
    static const QString folder = SettingsFolder(ExecutableInfo::Folder(),
        ExecutableInfo::BaseName() + QStringLiteral(".ini"), QProcessEnvironment::systemEnvironment());
    return folder;
}

void MakeProgramSettingsFolder()
{
    if (ProgramSettingsFolder() != ExecutableInfo::Folder())
        makePrivatePath(ProgramSettingsFolder());
}

QString DataFolder(const QString& executableFolder)
{
    const QString beside = executableFolder + QStringLiteral("/share/tandrel");
    if (QFileInfo(beside).isDir())
        return beside;
    // Only a "bin" folder has its data in its parent's "share": any other
    // folder's parent is not the program's (build/tests is not build/).
    const QString tree = QDir::cleanPath(executableFolder + QStringLiteral("/../share/tandrel"));
    if (QFileInfo(executableFolder).fileName() == u"bin" && QFileInfo(tree).isDir())
        return tree;
    return {};
}

QString ProgramDataFolder() { return DataFolder(ExecutableInfo::Folder()); }

QStringList SoundNames(const QString& userFolder, const QString& dataFolder)
{
    QStringList names = wavFiles(userFolder);
    for (const QString& name : wavFiles(dataFolder))
        if (!names.contains(name))
            names << name;
    // Sorted by name so the list reads the same on every file system.
    std::sort(names.begin(), names.end(),
        [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

QString FindSound(const QString& name, const QString& userFolder, const QString& dataFolder)
{
    // An empty name would name the folder itself.
    if (name.isEmpty())
        return {};
    const QString own = fileIn(userFolder, name);
    return own.isEmpty() ? fileIn(dataFolder, name) : own;
}

} // namespace AppFolders
