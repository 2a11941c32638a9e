#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only a folder where no one else can create entries keeps other users' locks
// (and anything planted under the lock's name) out of the way.
bool isPrivateFolder(const QString& path)
{
    struct stat info { };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

SingleInstance::SingleInstance(const QString& key)
    : m_lock(std::make_unique<QLockFile>(LockPath(key)))
{
    // The lock of a crashed instance is taken over once its process is gone;
    // a live instance never loses its lock, however long it runs.
    m_lock->setStaleLockTime(0);
    m_first = m_lock->tryLock(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::IsFirst() const { return m_first; }

QString SingleInstance::LockPath(const QString& key)
{
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return LockFolder() + QStringLiteral("/tandrel-%1.lock").arg(QString::fromLatin1(hash));
}

QString SingleInstance::LockFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return runtime;
    // Outside a desktop session: a folder of the user's own in the temporary
    // folder, private from its creation on. Two starts at once may both try to
    // make it; either way it is the same folder.
    const QString own = QDir::tempPath() + QStringLiteral("/tandrel-%1").arg(::geteuid());
    ::mkdir(QFile::encodeName(own).constData(), S_IRWXU);
    if (isPrivateFolder(own))
        return own;
    // Someone else holds that name; the home folder is the user's alone.
    const QString home
        = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/tandrel");
    QDir().mkpath(home);
    return home;
}
