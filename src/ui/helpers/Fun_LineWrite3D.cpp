#include "ui/helpers/Fun_LineWrite3D.h"

#include <QApplication>
#include <QFrame>
#include <QPalette>

namespace Fun_LineWrite3D {

namespace {

    bool IsLine(const QFrame& frame)
    {
        return frame.frameShape() == QFrame::HLine || frame.frameShape() == QFrame::VLine;
    }

    // A plain line or outline draws in the palette's window-text colour.
    void SetBorderColor(QFrame& frame, QPalette::ColorRole systemColor)
    {
        QPalette palette = frame.palette();
        palette.setColor(QPalette::WindowText, QApplication::palette().color(systemColor));
        frame.setPalette(palette);
    }

} // namespace

void WriteMenuLine3D(std::vector<QFrame*>& lines)
{
    if (lines.empty() || !lines.front())
        return;
    QFrame& line = *lines.front();
    line.setFrameShape(QFrame::HLine);
    line.setFrameShadow(QFrame::Plain);
    line.setLineWidth(1);
    line.setGeometry(0, 0, 1, 1);
    LineWrite3D(lines, 1, 0, true);
}

void LineWrite3D(std::vector<QFrame*>& controls, int direction, std::optional<std::size_t> index,
    bool stretch, QWidget* container)
{
    const std::size_t at = index.value_or(0);
    if (at >= controls.size() || !controls[at])
        return;
    QFrame& source = *controls[at];
    const bool line = IsLine(source);
    const bool across = direction == 0 || direction == 2;
    const bool down = direction == 1 || direction == 2;

    if (line && down && stretch && source.parentWidget()) {
        const QRect geometry = source.geometry();
        source.setGeometry(0, geometry.y(), source.parentWidget()->width(), geometry.height());
    }
    SetBorderColor(source, QPalette::Dark);

    QWidget* parent = container ? container : source.parentWidget();
    auto* copy = new QFrame(parent);
    controls.push_back(copy);
    copy->setFrameShape(source.frameShape());
    copy->setFrameShadow(source.frameShadow());
    copy->setLineWidth(source.lineWidth());
    SetBorderColor(*copy, QPalette::Light);

    QRect geometry = source.geometry();
    if (line) {
        if (across)
            geometry.translate(1, 0);
        if (down)
            geometry.translate(0, 1);
    } else {
        if (across)
            geometry.translate(0, 1);
        if (down)
            geometry.translate(1, 0);
    }
    copy->setGeometry(geometry);
    copy->setVisible(true);
    if (!line) {
        copy->lower();
        source.raise();
    }
    QCoreApplication::processEvents();
}

} // namespace Fun_LineWrite3D
