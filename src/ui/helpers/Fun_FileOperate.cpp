#include "ui/helpers/Fun_FileOperate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Fun_FileOperate {

QString LocalPath(const QString& path)
{
#ifdef Q_OS_WIN
    return path;
#else
    QString local = path;
    return local.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
}

bool IsFileExist(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(LocalPath(path));
    return info.exists() && !info.isDir();
}

bool IsFolderExist(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(LocalPath(path));
    return info.exists() && info.isDir();
}

void KillFile(const QString& path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(LocalPath(path));
    const QString pattern = info.fileName();
    if (!pattern.contains(QLatin1Char('*')) && !pattern.contains(QLatin1Char('?'))) {
        if (!info.isDir())
            QFile::remove(info.filePath());
        return;
    }
    QDir folder = info.dir();
    const QStringList matches = folder.entryList({ pattern }, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : matches)
        folder.remove(name);
}

} // namespace Fun_FileOperate
