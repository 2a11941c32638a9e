#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

// Takes write access to a folder away for real. Root may write anywhere, so
// root's file access runs as an ordinary user (owning folder and file) meanwhile.
class UnwritableFolder {
public:
    explicit UnwritableFolder(const QString& folder)
        : m_folder(QFile::encodeName(folder))
    {
        QStringList paths { folder };
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            paths << folder + u'/' + name;
        for (const QString& path : paths)
            m_ready
                = m_ready && (!m_root || ::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0);
        if (m_root)
            ::setfsuid(kNobody);
        m_ready = m_ready
            && ::chmod(m_folder.constData(), S_IRUSR | S_IXUSR | S_IRGRP | S_IXGRP | S_IROTH | S_IXOTH) == 0;
    }
    ~UnwritableFolder()
    {
        ::chmod(m_folder.constData(), S_IRWXU);
        if (m_root)
            ::setfsuid(0);
    }
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;

    // False where the system lets the write through anyway.
    bool holds() const
    {
        if (!m_ready)
            return false;
        const QByteArray probe = m_folder + "/probe";
        const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, S_IRUSR);
        if (fd < 0)
            return true;
        ::close(fd);
        ::unlink(probe.constData());
        return false;
    }

private:
    static constexpr uid_t kNobody = 65534;
    QByteArray m_folder;
    bool m_root = ::geteuid() == 0;
    bool m_ready = true;
};
