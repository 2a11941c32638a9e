// Opens the options dialog and the about box as the program does and saves
// pictures of them: each window on its own, and the whole screen around it.
//   dialog_shots <output-folder>
#include "app/CommonSettings.h"
#include "ui/frmAbout.h"
#include "ui/frmOption.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include <functional>

namespace {

// Runs events until the condition holds or a generous limit passes.
bool WaitFor(const std::function<bool()>& condition)
{
    QEventLoop loop;
    QTimer poll;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(20);
    limit.start(10000);
    loop.exec();
    return condition();
}

void Settle()
{
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Save(const QPixmap& picture, const QString& path)
{
    const bool saved = picture.save(path);
    QTextStream(stdout) << (saved ? "saved " : "could not save ") << path << Qt::endl;
    return saved;
}

QPixmap GrabScreen()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(0) : QPixmap();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "usage: dialog_shots <output-folder>" << Qt::endl;
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    bool ok = true;

    // The options dialog over a sound folder with a few sounds in it.
    QTemporaryDir sounds;
    for (const char* name : { "Ding.WAV", "chime.wav", "notify.wav" }) {
        QFile file(sounds.filePath(QString::fromLatin1(name)));
        file.open(QIODevice::WriteOnly);
    }
    SetOptionDefaults();
    CommonSettings.SoundFolder = sounds.path();
    CommonSettings.ArrivalSound = QStringLiteral("ding.wav");
    CommonSettings.ArrivalFormPosition = 2;
    CommonSettings.ShowArrivalFormTime = 8;
    {
        frmOption options;
        options.show();
        if (!WaitFor([&] {
                return options.isVisible() && options.windowHandle() && options.windowHandle()->isExposed();
            }))
            return 1;
        Settle();
        ok &= Save(options.grab(), out.filePath(QStringLiteral("options.png")));
        ok &= Save(GrabScreen(), out.filePath(QStringLiteral("options-screen.png")));
    }

    // One day of each colour scheme: the 3rd is blue, the 1st green, the 2nd red.
    const struct {
        int day;
        const char* name;
    } days[] = { { 3, "blue" }, { 1, "green" }, { 2, "red" } };
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
    for (const auto& day : days) {
        QPointer<frmAbout> about = frmAbout::ShowAbout(QString(), QString(), icon, QDate(2026, 12, day.day));
        if (!WaitFor([&] { return about && about->IsOpened(); })) {
            QTextStream(stderr) << "the about box did not open" << Qt::endl;
            return 1;
        }
        Settle();
        if (!about)
            return 1;
        const QString stem = QStringLiteral("about-%1-day%2").arg(QLatin1String(day.name)).arg(day.day);
        ok &= Save(about->grab(), out.filePath(stem + QStringLiteral(".png")));
        ok &= Save(GrabScreen(), out.filePath(stem + QStringLiteral("-screen.png")));
        about->close();
        WaitFor([&] { return about.isNull(); });
    }
    return ok ? 0 : 1;
}
