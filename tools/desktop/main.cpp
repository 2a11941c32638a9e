// Renders the program's idle tray picture into the icon theme's folder layout,
// so the menu shows the same envelope as the notification area.
//   tray_icons <output-folder> <size>...   writes <output-folder>/hicolor/<size>x<size>/apps/tandrel.png
#include "ui/TrayPictures.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        QTextStream(stderr) << "usage: tray_icons <output-folder> <size>...\n";
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        if (size <= 0) {
            QTextStream(stderr) << "not a size: " << argv[i] << "\n";
            return 2;
        }
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(root, QString::number(size));
        const QString file = folder + QStringLiteral("/tandrel.png");
        if (!QDir().mkpath(folder) || !TrayPictures::IdlePixmap(size).save(file, "PNG")) {
            QTextStream(stderr) << "cannot write " << file << "\n";
            return 1;
        }
    }
    return 0;
}
