// Opens the options dialog, the spam lists, the kept spam and the about box
// as the program does and saves pictures of them: each window on its own,
// and for the options and the about box the whole screen around it.
//   dialog_shots <output-folder>
#include "app/CommonSettings.h"
#include "mail/SpamMaildir.h"
#include "ui/frmAbout.h"
#include "ui/frmOption.h"
#include "ui/frmSpamDeleted.h"
#include "ui/frmSpamLists.h"

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

    // The spam lists as the program comes with them, and one sender of the user's.
    {
        frmSpamLists lists(std::nullopt, QStringList { QStringLiteral("example.biz") });
        lists.show();
        if (!WaitFor([&] { return lists.windowHandle() && lists.windowHandle()->isExposed(); }))
            return 1;
        Settle();
        ok &= Save(lists.grab(), out.filePath(QStringLiteral("spam-lists.png")));
    }

    // Two kept copies: one the server has deleted, one it still holds.
    {
        QTemporaryDir folder;
        SpamMaildir mailbox(folder.path(), QStringLiteral("home"));
        const QString first = mailbox.Keep(QStringLiteral("uid-1"),
            "From: =?UTF-8?B?5bqD5ZGK?= <ads@example.biz>\nDate: Mon, 01 Dec 2025 09:00:00 +0900\n"
            "Subject: [SPAM] =?UTF-8?B?5LuK44Gg44GR44Gu54m55Yil5L6h5qC8?= - limited offer for you "
            "only\n\nx\n");
        mailbox.MarkDeleted({ first });
        mailbox.Keep(QStringLiteral("uid-2"),
            "From: news@example.biz\nDate: Tue, 02 Dec 2025 10:00:00 +0900\n"
            "Subject: =?UTF-8?B?44CQ6L+35oOR44Oh44O844Or44CR44GK55+l44KJ44Gb?=\n\nx\n");
        frmSpamDeleted kept(folder.path());
        kept.ShowList();
        if (!WaitFor([&] { return kept.windowHandle() && kept.windowHandle()->isExposed(); }))
            return 1;
        Settle();
        ok &= Save(kept.grab(), out.filePath(QStringLiteral("spam-kept.png")));
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
