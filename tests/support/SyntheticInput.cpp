#include "SyntheticInput.h"

#include <QProcess>
#include <QStringList>

namespace {

// xdotool answers at once unless the X server or the machine is busy; only a
// fault waits this long.
constexpr int kToolLimitMs = 60000;

bool Run(const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    const bool done = tool.waitForFinished(kToolLimitMs) && tool.exitStatus() == QProcess::NormalExit
        && tool.exitCode() == 0;
    if (output)
        *output = tool.readAllStandardOutput();
    return done;
}

} // namespace

namespace SyntheticInput {

bool Click(QPoint global, Button button)
{
    return Run({ QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()),
        QStringLiteral("click"), QString::number(int(button)) });
}

bool DoubleClick(QPoint global)
{
    // xdotool's pause between the clicks is well within any double-click time.
    return Run({ QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()),
        QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("1") });
}

bool ClickInWindow(quintptr window, QPoint local, Button button)
{
    return Run({ QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window),
        QString::number(local.x()), QString::number(local.y()), QStringLiteral("click"),
        QString::number(int(button)) });
}

bool Type(const QString& text)
{
    return Run({ QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text });
}

quintptr FocusWindow()
{
    QByteArray output;
    if (!Run({ QStringLiteral("getwindowfocus") }, &output))
        return 0;
    return output.trimmed().toULongLong();
}

bool Key(const QString& combination) { return Run({ QStringLiteral("key"), combination }); }

bool Press(QPoint global, Button button)
{
    return MoveTo(global) && Run({ QStringLiteral("mousedown"), QString::number(int(button)) });
}

bool MoveTo(QPoint global)
{
    return Run({ QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()) });
}

bool Release(Button button) { return Run({ QStringLiteral("mouseup"), QString::number(int(button)) }); }

QPoint WindowPlace(quintptr window)
{
    QByteArray output;
    if (!Run({ QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::number(window) },
            &output))
        return {};
    QPoint place;
    for (const QByteArray& line : output.split('\n')) {
        if (line.startsWith("X="))
            place.setX(line.mid(2).toInt());
        else if (line.startsWith("Y="))
            place.setY(line.mid(2).toInt());
    }
    return place;
}

} // namespace SyntheticInput
