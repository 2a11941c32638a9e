#include "platform/DurableFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DurableFile {

int WriteAll(int fd, QByteArrayView bytes)
{
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        left -= n;
    }
    return 0;
}

void SyncFolder(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool CreateNew(const QString& path, QByteArrayView bytes)
{
    const QByteArray name = QFile::encodeName(path);
    // Mail is private: only its owner may read the copy.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    bool written = WriteAll(fd, bytes) == 0 && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written) {
        ::unlink(name.constData());
        return false;
    }
    SyncFolder(path);
    return true;
}

bool Rename(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    // A hard link refuses an existing name, which rename would replace.
    if (::link(source.constData(), QFile::encodeName(to).constData()) != 0)
        return false;
    ::unlink(source.constData());
    SyncFolder(to);
    if (QFileInfo(from).absolutePath() != QFileInfo(to).absolutePath())
        SyncFolder(from);
    return true;
}

} // namespace DurableFile
