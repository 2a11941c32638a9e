#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>

SingleInstance::SingleInstance(const QString& key)
    : m_lock(std::make_unique<QLockFile>(LockPath(key)))
{
    // The lock of a crashed instance is taken over once its process is gone;
    // a live instance never loses its lock, however long it runs.
    m_lock->setStaleLockTime(0);
    m_first = m_lock->tryLock(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::IsFirst() const
{
    return m_first;
}

QString SingleInstance::LockPath(const QString& key)
{
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QDir::temp().filePath(QStringLiteral("tandrel-%1.lock").arg(QString::fromLatin1(hash)));
}
