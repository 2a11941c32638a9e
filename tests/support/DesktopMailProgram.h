#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSignalSpy>
#include <QTemporaryDir>

// A desktop of the test's own for its lifetime: every XDG folder inside a
// temporary folder, where the desktop's mail program can be made the script
// tests/support/mail-program; it and the scripted browser write down there
// how they were started.
class DesktopMailProgram {
public:
    static QString Script() { return QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/mail-program"); }

    DesktopMailProgram()
    {
        for (const auto& [variable, file] : { std::pair { "XDG_CONFIG_HOME", "config" },
                 { "XDG_CONFIG_DIRS", "etc" }, { "XDG_DATA_HOME", "data" }, { "XDG_DATA_DIRS", "usr" },
                 { "TANDREL_MAIL_PROGRAM_DONE", "started" }, { "TANDREL_BROWSER_DONE", "browsed" } }) {
            m_saved.append({ variable, qgetenv(variable) });
            qputenv(variable, m_root.filePath(QString::fromLatin1(file)).toLocal8Bit());
        }
    }
    ~DesktopMailProgram()
    {
        for (const auto& [variable, value] : m_saved)
            value.isNull() ? qunsetenv(variable) : qputenv(variable, value);
    }
    DesktopMailProgram(const DesktopMailProgram&) = delete;
    DesktopMailProgram& operator=(const DesktopMailProgram&) = delete;

    // A file under the folder: config/ is XDG_CONFIG_HOME, etc/ XDG_CONFIG_DIRS,
    // data/ XDG_DATA_HOME and usr/ XDG_DATA_DIRS.
    bool Write(const QString& path, const QString& text)
    {
        QFile file(m_root.filePath(path));
        return QDir(m_root.path()).mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
            && file.write(text.toUtf8()) == text.toUtf8().size();
    }

    // The script becomes the handler of mailto links, started as the Exec line says after its path.
    bool SetDefault(const QString& arguments)
    {
        return Write(QStringLiteral("config/mimeapps.list"),
                   QStringLiteral("[Default Applications]\nx-scheme-handler/mailto=test-mail.desktop\n"))
            && Write(QStringLiteral("data/applications/test-mail.desktop"),
                QStringLiteral("[Desktop Entry]\nType=Application\nExec=") + Script() + u' ' + arguments);
    }

    // Once it is there, the lines of what the mail program ("started", then
    // its arguments) or the browser ("browsed": the address) wrote; empty if
    // it never comes.
    QStringList Written(const char* file)
    {
        QFileSystemWatcher watcher({ m_root.path() });
        QSignalSpy changed(&watcher, &QFileSystemWatcher::directoryChanged);
        QFile done(m_root.filePath(QString::fromLatin1(file)));
        // Only a fault waits this long: a busy machine may be slow to start a process.
        while (!done.exists())
            if (!changed.wait(60'000))
                return {};
        if (!done.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(done.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir m_root;
    QList<std::pair<const char*, QByteArray>> m_saved;
};
