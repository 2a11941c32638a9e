#include "ui/TrayPictures.h"

#include "app/TrayPictureCode.h"

#include <QPainter>
#include <QPainterPath>

namespace TrayPictures {

namespace {

    constexpr int Sizes[] = { 16, 20, 24, 32, 48, 64 };

    // Drawn on a 16 x 16 grid and scaled, so every size has the same shape.
    QPixmap Draw(int size, int picture)
    {
        const bool checking = picture == TrayPictureCode::Checking;
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);

        const QRectF body(1.5, 3.5, 13.0, 9.0);
        const QColor paper = checking ? QColor(0xFF, 0xCB, 0x00) : QColor(0xF8, 0xF8, 0xF0);
        painter.setPen(QPen(QColor(0x40, 0x40, 0x48), 1.0));
        painter.setBrush(paper);
        painter.drawRect(body);
        QPainterPath flap;
        flap.moveTo(body.topLeft());
        flap.lineTo(body.center().x(), body.top() + 5.0);
        flap.lineTo(body.topRight());
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(flap);

        if (checking) {
            // A round arrow in the lower right corner: mail is being fetched.
            const QRectF circle(8.5, 8.5, 7.0, 7.0);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0x20, 0x90, 0x30));
            painter.drawEllipse(circle);
            painter.setPen(QPen(Qt::white, 1.2, Qt::SolidLine, Qt::RoundCap));
            painter.setBrush(Qt::NoBrush);
            const QRectF arc = circle.adjusted(1.8, 1.8, -1.8, -1.8);
            painter.drawArc(arc, 90 * 16, 270 * 16);
            QPainterPath head;
            head.moveTo(arc.center().x(), arc.top() - 1.2);
            head.lineTo(arc.center().x() + 1.6, arc.top());
            head.lineTo(arc.center().x(), arc.top() + 1.2);
            painter.setBrush(Qt::white);
            painter.setPen(Qt::NoPen);
            painter.drawPath(head);
        } else if (picture == TrayPictureCode::Failing) {
            // A red warning triangle with a white bar and dot, as large as the
            // corner allows: it must read at 16 pixels on a dark or light panel.
            QPainterPath triangle;
            triangle.moveTo(12.0, 6.5);
            triangle.lineTo(16.0, 15.5);
            triangle.lineTo(8.0, 15.5);
            triangle.closeSubpath();
            painter.setPen(QPen(Qt::white, 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.setBrush(QColor(0xD0, 0x20, 0x20));
            painter.drawPath(triangle);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            painter.drawRect(QRectF(11.4, 9.2, 1.2, 3.4));
            painter.drawRect(QRectF(11.4, 13.3, 1.2, 1.2));
        } else if (picture == TrayPictureCode::Waiting) {
            // An orange disc with three white dots in the same corner: mail
            // has come and waits to be shown.
            painter.setPen(QPen(Qt::white, 0.8));
            painter.setBrush(QColor(0xE0, 0x70, 0x10));
            painter.drawEllipse(QRectF(8.2, 8.2, 7.6, 7.6));
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            for (const double x : { 9.6, 11.4, 13.2 })
                painter.drawEllipse(QRectF(x, 11.4, 1.2, 1.2));
        } else {
            // A blue stamp keeps the idle envelope readable on light panels.
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0x30, 0x60, 0xC0));
            painter.drawRect(QRectF(11.0, 5.0, 2.5, 2.5));
        }
        return pixmap;
    }

    QIcon MakeIcon(int picture)
    {
        QIcon icon;
        for (int size : Sizes)
            icon.addPixmap(Draw(size, picture));
        return icon;
    }

} // namespace

QIcon Idle() { return MakeIcon(TrayPictureCode::Idle); }

QIcon Checking() { return MakeIcon(TrayPictureCode::Checking); }

QIcon Failing() { return MakeIcon(TrayPictureCode::Failing); }

QIcon Waiting() { return MakeIcon(TrayPictureCode::Waiting); }

QPixmap IdlePixmap(int size) { return Draw(size, TrayPictureCode::Idle); }

} // namespace TrayPictures
