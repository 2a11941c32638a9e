#include "ui/clsTextRotator.h"

#include "ui/PictureBox.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

void clsTextRotator::SetDevice(PictureBox* objDevice)
{
    m_device = objDevice;
    if (!objDevice)
        return;
    const PictureBox::ScaleMode mode = objDevice->GetScaleMode();
    m_scaleLeft = float(objDevice->ScaleLeft());
    m_scaleTop = float(objDevice->ScaleTop());
    const float right = float(objDevice->ScaleWidth()) + m_scaleLeft;
    const float bottom = float(objDevice->ScaleHeight()) + m_scaleTop;

    objDevice->SetScaleMode(PictureBox::ScaleMode::Pixels);
    const float pw = float(objDevice->ScaleWidth());
    const float ph = float(objDevice->ScaleHeight());
    if (mode == PictureBox::ScaleMode::User)
        objDevice->Scale(m_scaleLeft, m_scaleTop, right, bottom);
    else
        objDevice->SetScaleMode(mode);

    // A surface without extent maps everything onto its origin.
    m_xFactor = right != m_scaleLeft ? pw / (right - m_scaleLeft) : 0.0f;
    m_yFactor = bottom != m_scaleTop ? ph / (bottom - m_scaleTop) : 0.0f;
}

int clsTextRotator::ScaleToPixelX(double x) const
{
    return int(std::nearbyint((x - m_scaleLeft) * m_xFactor));
}

int clsTextRotator::ScaleToPixelY(double y) const
{
    return int(std::nearbyint((y - m_scaleTop) * m_yFactor));
}

QPoint clsTextRotator::LabelOrigin() const
{
    if (!m_device)
        return {};
    return { ScaleToPixelX(m_device->CurrentX), ScaleToPixelY(m_device->CurrentY) };
}

void clsTextRotator::Label(const QString& sText)
{
    if (!m_device)
        return;
    const QFont& surfaceFont = m_device->DrawFont;
    QImage& image = m_device->Image();

    // The cell height in device pixels, from the point size and the device's
    // vertical resolution, truncated as the text drawing of the surface does.
    const int cellHeight = int(surfaceFont.pointSizeF() * image.logicalDpiY()) / 72;
    QFont font(surfaceFont);
    font.setPixelSize(std::max(1, cellHeight));
    const int naturalHeight = QFontMetrics(font, &image).height();
    if (naturalHeight > cellHeight && cellHeight > 0)
        font.setPixelSize(std::max(1, cellHeight * cellHeight / naturalHeight));

    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(m_device->ForeColor);
    painter.translate(LabelOrigin());
    // Counter-clockwise on the screen, whose y axis points down.
    painter.rotate(-m_angle);
    painter.drawText(QPointF(0, QFontMetricsF(font, &image).ascent()), sText);
    painter.end();
    m_device->update();
}
