#include "platform/IniProfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace IniProfile {

namespace {

    // Makes the rename itself durable: the folder entry must reach the disk too.
    void syncFolder([[maybe_unused]] const QString& path)
    {
#ifndef Q_OS_WIN
        const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
#endif
    }

} // namespace

bool ReadFile(const QString& path, IniDocument& document)
{
    document = IniDocument();
    const QFileInfo info(path);
    if (!info.exists())
        return true;
    if (!info.isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return !QFileInfo::exists(path); // gone since the look above: as if missing
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    document = IniDocument::FromBytes(bytes);
    return true;
}

QString GetString(const QString& path, QStringView section, QStringView key)
{
    IniDocument document;
    ReadFile(path, document);
    return document.Value(section, key);
}

QStringList GetSection(const QString& path, QStringView section)
{
    IniDocument document;
    ReadFile(path, document);
    return document.SectionLines(section);
}

bool WriteString(const QString& path, QStringView section, QStringView key, QStringView value)
{
    IniDocument document;
    if (IsReadOnly(path) || !ReadFile(path, document))
        return false;
    document.SetValue(section, key, value);
    return WriteFile(path, document.ToBytes());
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return false;
    // Renaming over a read-only file would succeed on most systems; the user
    // made it read-only so that it stays as it is.
    if (IsReadOnly(path))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The file holds passwords.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) // flushes to the disk before the rename
        return false;
    syncFolder(path);
    return true;
}

bool IsReadOnly(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return false;
    return !info.permissions().testFlag(QFileDevice::WriteOwner) || !info.isWritable();
}

} // namespace IniProfile
