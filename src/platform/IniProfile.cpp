#include "platform/IniProfile.h"

#include "platform/DurableFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace IniProfile {

namespace {

    constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR; // the file holds passwords

    QString describe(int error)
    {
        switch (error) {
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("ﾃﾞｨｽｸに空きがありません。");
        case EACCES:
        case EPERM:
            return QStringLiteral("書きこむ権限がありません。");
        case EROFS:
            return QStringLiteral("読み取り専用のﾄﾞﾗｲﾌﾞです。");
        case EISDIR:
            return QStringLiteral("同じ名前のﾌｫﾙﾀﾞがあります。");
        case ENOENT:
            return QStringLiteral("保存先のﾌｫﾙﾀﾞがありません。");
        default:
            return QString::fromLocal8Bit(std::strerror(error));
        }
    }

    WriteResult failed(int error) { return WriteResult { false, false, describe(error) }; }

    // Why `path` must not be written at all, if anything stands in the way.
    std::optional<WriteResult> refusal(const QString& path)
    {
        const QFileInfo info(path);
        if (info.exists() && !info.isFile())
            return failed(info.isDir() ? EISDIR : EINVAL);
        if (IsReadOnly(path))
            return WriteResult { false, true, {} };
        return std::nullopt;
    }

    // Writes `bytes` from the start, flushes them to the disk and closes `fd`
    // whatever happens; the first error wins.
    int writeAndClose(int fd, const QByteArray& bytes, bool cutToSize)
    {
        int error = DurableFile::WriteAll(fd, bytes);
        if (!error && cutToSize && ::ftruncate(fd, off_t(bytes.size())) != 0)
            error = errno;
        if (!error && ::fsync(fd) != 0)
            error = errno;
        if (::close(fd) != 0 && !error)
            error = errno;
        return error;
    }

    // One name per process: a crash leaves at most one stray file behind.
    QString temporaryPath(const QString& path)
    {
        return path + QStringLiteral(".%1.tmp").arg(QCoreApplication::applicationPid());
    }

    // No atomic replace is possible, but the settings must not be lost: the
    // old bytes are overwritten (not cut away first, so a full disk still takes
    // a file that does not grow) and the rest is cut off.
    WriteResult writeInPlace(const QString& path, const QByteArray& bytes)
    {
        const int fd
            = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, kOwnerOnly);
        if (fd < 0)
            return failed(errno);
        ::fchmod(fd, kOwnerOnly); // at best: the file may belong to someone else
        if (const int error = writeAndClose(fd, bytes, true))
            return failed(error);
        DurableFile::SyncFolder(path);
        return WriteResult { true, false, {} };
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

WriteResult WriteString(const QString& path, QStringView section, QStringView key, QStringView value)
{
    if (const auto refused = refusal(path))
        return *refused;
    IniDocument document;
    if (!ReadFile(path, document))
        return failed(EIO);
    document.SetValue(section, key, value);
    return WriteFile(path, document.ToBytes());
}

WriteResult WriteFile(const QString& path, const QByteArray& bytes)
{
    // Renaming over a read-only file would succeed on most systems; the user
    // made it read-only so that it stays as it is.
    if (const auto refused = refusal(path))
        return *refused;
    const QByteArray temp = QFile::encodeName(temporaryPath(path));
    ::unlink(temp.constData()); // left by a crashed run that had our process id
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kOwnerOnly);
    if (fd < 0)
        return writeInPlace(path, bytes);
    // The umask may have taken more away than we asked for.
    const int modeError = ::fchmod(fd, kOwnerOnly) == 0 ? 0 : errno;
    const int error = writeAndClose(fd, bytes, false);
    if (modeError || error) {
        // A full disk or a failing device: the old file is still whole.
        ::unlink(temp.constData());
        return failed(modeError ? modeError : error);
    }
    if (::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(temp.constData());
        return writeInPlace(path, bytes);
    }
    DurableFile::SyncFolder(path);
    return WriteResult { true, false, {} };
}

bool IsReadOnly(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return false;
    return !info.permissions().testFlag(QFileDevice::WriteOwner) || !info.isWritable();
}

} // namespace IniProfile
