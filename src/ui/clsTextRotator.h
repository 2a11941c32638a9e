#pragma once

#include <QPoint>
#include <QString>
#include <QtGlobal>

class PictureBox;

// Draws text at an angle onto a picture box, at the box's current position and
// in the box's current font.
class clsTextRotator {
public:
    // Degrees, counter-clockwise; 270 runs the text downward.
    qint16 Angle() const { return m_angle; }
    void SetAngle(qint16 nAngle) { m_angle = nAngle; }

    // Takes the surface and the ratio of its pixels to its scale as it is now;
    // later changes of the surface's scale are not followed.
    void SetDevice(PictureBox* objDevice);

    // Draws sText with the top left corner of its unrotated cell at the current
    // position; the current position does not move.
    void Label(const QString& sText);

    // The pixel at which Label puts that corner.
    QPoint LabelOrigin() const;

private:
    int ScaleToPixelX(double x) const;
    int ScaleToPixelY(double y) const;

    PictureBox* m_device = nullptr;
    float m_scaleLeft = 0;
    float m_scaleTop = 0;
    float m_xFactor = 1;
    float m_yFactor = 1;
    qint16 m_angle = 0;
};
