#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QWidget>

class QPixmap;

// A drawing surface whose drawing persists: everything painted lands in an
// image that the widget shows. Positions are in the surface's scale (twips by
// default, pixels, or a user-defined range); text is printed at a current
// position that printing moves down a line, as windows of this program expect.
class PictureBox : public QWidget {
    Q_OBJECT

public:
    enum class ScaleMode { User = 0, Twips = 1, Pixels = 3 };

    explicit PictureBox(QWidget* parent = nullptr);

    // Twips per device pixel; the screen's factors unless set otherwise.
    void SetTwipsPerPixel(double x, double y);
    double TwipsPerPixelX() const { return m_twipsPerPixelX; }
    double TwipsPerPixelY() const { return m_twipsPerPixelY; }

    ScaleMode GetScaleMode() const { return m_scaleMode; }
    // Twips and pixels put the origin back at the top left.
    void SetScaleMode(ScaleMode mode);
    // A user-defined scale: (x1, y1) is the top left corner, (x2, y2) the bottom right.
    void Scale(double x1, double y1, double x2, double y2);
    double ScaleLeft() const;
    double ScaleTop() const;
    double ScaleWidth() const;
    double ScaleHeight() const;

    QPointF ToPixels(QPointF scalePoint) const;
    QPointF FromPixels(QPointF pixelPoint) const;

    double CurrentX = 0;
    double CurrentY = 0;
    QColor ForeColor = Qt::black;

    // The font that Print, TextWidth and TextHeight use, sized in points.
    QFont DrawFont;
    // Each glyph turned a quarter counter-clockwise, as a vertical-writing
    // face lays it into a horizontal line.
    bool SidewaysGlyphs = false;

    // Fills the box between two corners, both included, in scale units.
    void FillBox(QPointF from, QPointF to, const QColor& colour);
    // Draws text with its top left at the current position, then moves to the
    // start of the next line.
    void Print(const QString& text);
    double TextWidth(const QString& text) const;
    double TextHeight(const QString& text) const;
    void PaintPicture(const QPixmap& picture, double x, double y);

    // The persistent picture; Label-style drawing paints straight into it.
    QImage& Image();

Q_SIGNALS:
    // Positions in scale units.
    void MouseDown(Qt::MouseButton button, QPointF position);
    void MouseMove(Qt::MouseButtons buttons, QPointF position);
    // A press and release of any button over the surface.
    void Click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void UpdateImageResolution();
    // A hidden widget hears of its size only when shown; drawing must not wait.
    void EnsureImageSize();

    QImage m_image;
    double m_twipsPerPixelX;
    double m_twipsPerPixelY;
    ScaleMode m_scaleMode = ScaleMode::Twips;
    double m_userLeft = 0;
    double m_userTop = 0;
    double m_userWidth = 1;
    double m_userHeight = 1;
    bool m_pressed = false;
};
