#include "ui/PictureBox.h"

#include "ui/helpers/Fun_SystemMetrics.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <cmath>

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent)
    , m_twipsPerPixelX(Fun_SystemMetrics::TwipsPerPixelX())
    , m_twipsPerPixelY(Fun_SystemMetrics::TwipsPerPixelY())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    m_image = QImage(1, 1, QImage::Format_RGB32);
    m_image.fill(Qt::black);
    UpdateImageResolution();
}

void PictureBox::SetTwipsPerPixel(double x, double y)
{
    m_twipsPerPixelX = x;
    m_twipsPerPixelY = y;
    UpdateImageResolution();
}

void PictureBox::SetScaleMode(ScaleMode mode) { m_scaleMode = mode; }

void PictureBox::Scale(double x1, double y1, double x2, double y2)
{
    m_scaleMode = ScaleMode::User;
    m_userLeft = x1;
    m_userTop = y1;
    m_userWidth = x2 - x1;
    m_userHeight = y2 - y1;
}

double PictureBox::ScaleLeft() const { return m_scaleMode == ScaleMode::User ? m_userLeft : 0.0; }

double PictureBox::ScaleTop() const { return m_scaleMode == ScaleMode::User ? m_userTop : 0.0; }

double PictureBox::ScaleWidth() const
{
    switch (m_scaleMode) {
    case ScaleMode::User:
        return m_userWidth;
    case ScaleMode::Twips:
        return width() * m_twipsPerPixelX;
    case ScaleMode::Pixels:
        break;
    }
    return width();
}

double PictureBox::ScaleHeight() const
{
    switch (m_scaleMode) {
    case ScaleMode::User:
        return m_userHeight;
    case ScaleMode::Twips:
        return height() * m_twipsPerPixelY;
    case ScaleMode::Pixels:
        break;
    }
    return height();
}

QPointF PictureBox::ToPixels(QPointF scalePoint) const
{
    const double sw = ScaleWidth();
    const double sh = ScaleHeight();
    return { sw != 0 ? (scalePoint.x() - ScaleLeft()) * width() / sw : 0.0,
        sh != 0 ? (scalePoint.y() - ScaleTop()) * height() / sh : 0.0 };
}

QPointF PictureBox::FromPixels(QPointF pixelPoint) const
{
    return { width() > 0 ? ScaleLeft() + pixelPoint.x() * ScaleWidth() / width() : ScaleLeft(),
        height() > 0 ? ScaleTop() + pixelPoint.y() * ScaleHeight() / height() : ScaleTop() };
}

void PictureBox::FillBox(QPointF from, QPointF to, const QColor& colour)
{
    const QPointF a = ToPixels(from);
    const QPointF b = ToPixels(to);
    const QPoint topLeft(int(std::lround(std::min(a.x(), b.x()))), int(std::lround(std::min(a.y(), b.y()))));
    const QPoint bottomRight(
        int(std::lround(std::max(a.x(), b.x()))), int(std::lround(std::max(a.y(), b.y()))));
    QPainter painter(&Image());
    painter.fillRect(QRect(topLeft, bottomRight), colour);
    update();
}

void PictureBox::Print(const QString& text)
{
    const QPointF at = ToPixels({ CurrentX, CurrentY });
    QPainter painter(&Image());
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(DrawFont);
    painter.setPen(ForeColor);
    const QFontMetricsF metrics(DrawFont, &m_image);
    if (!SidewaysGlyphs) {
        painter.drawText(QPointF(std::round(at.x()), std::round(at.y()) + metrics.ascent()), text);
    } else {
        // A vertical-writing face keeps the line horizontal but lays every glyph
        // on its side, so each one turns about the middle of its square cell.
        double x = std::round(at.x());
        const double cell = metrics.height();
        for (const QChar c : text) {
            const double advance = metrics.horizontalAdvance(c);
            painter.save();
            painter.translate(x + cell / 2, std::round(at.y()) + cell / 2);
            painter.rotate(-90);
            painter.drawText(QPointF(-advance / 2, -cell / 2 + metrics.ascent()), QString(c));
            painter.restore();
            x += advance;
        }
    }
    CurrentX = ScaleLeft();
    CurrentY += TextHeight(text);
    update();
}

double PictureBox::TextWidth(const QString& text) const
{
    const QFontMetricsF metrics(DrawFont, &m_image);
    const double sw = ScaleWidth();
    return width() > 0 ? metrics.horizontalAdvance(text) * sw / width() : metrics.horizontalAdvance(text);
}

double PictureBox::TextHeight(const QString& text) const
{
    const QFontMetricsF metrics(DrawFont, &m_image);
    const int lines = int(text.count(u'\n')) + 1;
    const double sh = ScaleHeight();
    return height() > 0 ? lines * metrics.height() * sh / height() : lines * metrics.height();
}

void PictureBox::PaintPicture(const QPixmap& picture, double x, double y)
{
    const QPointF at = ToPixels({ x, y });
    QPainter painter(&Image());
    painter.drawPixmap(QPointF(std::round(at.x()), std::round(at.y())), picture);
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_image);
}

void PictureBox::resizeEvent(QResizeEvent* event)
{
    EnsureImageSize();
    QWidget::resizeEvent(event);
}

QImage& PictureBox::Image()
{
    EnsureImageSize();
    return m_image;
}

void PictureBox::EnsureImageSize()
{
    // Growing keeps what was drawn; the new area starts black.
    if (width() <= m_image.width() && height() <= m_image.height())
        return;
    QImage grown(
        std::max(width(), m_image.width()), std::max(height(), m_image.height()), QImage::Format_RGB32);
    grown.fill(Qt::black);
    QPainter painter(&grown);
    painter.drawImage(0, 0, m_image);
    painter.end();
    m_image = grown;
    UpdateImageResolution();
}

void PictureBox::UpdateImageResolution()
{
    // Point sizes on the picture follow the surface's own twips factor, so a
    // 10-point font is as many pixels high as the twips arithmetic expects.
    m_image.setDotsPerMeterX(int(std::lround(1440.0 / m_twipsPerPixelX / 0.0254)));
    m_image.setDotsPerMeterY(int(std::lround(1440.0 / m_twipsPerPixelY / 0.0254)));
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    m_pressed = true;
    Q_EMIT MouseDown(event->button(), FromPixels(event->position()));
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    Q_EMIT MouseMove(event->buttons(), FromPixels(event->position()));
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    const bool wasPressed = m_pressed;
    m_pressed = false;
    if (wasPressed && rect().contains(event->position().toPoint()))
        Q_EMIT Click();
}
