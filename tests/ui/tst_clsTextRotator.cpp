#include "ui/PictureBox.h"
#include "ui/clsTextRotator.h"

#include <QTest>

namespace {

// The smallest rectangle holding every pixel that is not black.
QRect LitArea(const QImage& image)
{
    QRect lit;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0)
                lit |= QRect(x, y, 1, 1);
    return lit;
}

} // namespace

class tst_clsTextRotator : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void labelOrigin_data()
    {
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<int>("mode"); // 1 twips, 3 pixels, 0 user
        QTest::addColumn<double>("twipsPerPixel");
        QTest::addColumn<QRectF>("userScale");
        QTest::addColumn<QPointF>("current");
        QTest::addColumn<QPoint>("expected");

        QTest::newRow("twips at 96 dpi, link start 1500,750")
            << QSize(230, 342) << 1 << 15.0 << QRectF() << QPointF(1500, 750) << QPoint(100, 50);
        QTest::newRow("twips at 120 dpi")
            << QSize(230, 342) << 1 << 12.0 << QRectF() << QPointF(1500, 744) << QPoint(125, 62);
        QTest::newRow("twips, origin stays the origin")
            << QSize(230, 342) << 1 << 15.0 << QRectF() << QPointF(0, 0) << QPoint(0, 0);
        QTest::newRow("pixels map onto themselves")
            << QSize(230, 342) << 3 << 15.0 << QRectF() << QPointF(17, 42) << QPoint(17, 42);
        QTest::newRow("user scale stretched unequally")
            << QSize(200, 400) << 0 << 15.0 << QRectF(0, 0, 100, 100) << QPointF(25, 10) << QPoint(50, 40);
        QTest::newRow("user scale with its origin moved")
            << QSize(200, 400) << 0 << 15.0 << QRectF(-50, 100, 100, 200) << QPointF(0, 200)
            << QPoint(100, 200);
        QTest::newRow("user scale running upward")
            << QSize(200, 400) << 0 << 15.0 << QRectF(0, 100, 100, -100) << QPointF(50, 25)
            << QPoint(100, 300);
        QTest::newRow("fraction rounds to the nearest pixel")
            << QSize(230, 342) << 1 << 15.0 << QRectF() << QPointF(1508, 742) << QPoint(101, 49);
    }

    void labelOrigin()
    {
        QFETCH(QSize, pixels);
        QFETCH(int, mode);
        QFETCH(double, twipsPerPixel);
        QFETCH(QRectF, userScale);
        QFETCH(QPointF, current);
        QFETCH(QPoint, expected);

        PictureBox surface;
        surface.SetTwipsPerPixel(twipsPerPixel, twipsPerPixel);
        surface.resize(pixels);
        if (mode == 0)
            surface.Scale(userScale.left(), userScale.top(), userScale.right(), userScale.bottom());
        else
            surface.SetScaleMode(PictureBox::ScaleMode(mode));
        surface.CurrentX = current.x();
        surface.CurrentY = current.y();

        clsTextRotator rotator;
        rotator.SetDevice(&surface);
        QCOMPARE(rotator.LabelOrigin(), expected);
    }

    void deviceLeavesTheScaleAsItWas()
    {
        PictureBox surface;
        surface.resize(200, 400);
        surface.Scale(-50, 100, 50, 300);
        clsTextRotator rotator;
        rotator.SetDevice(&surface);
        QCOMPARE(surface.GetScaleMode(), PictureBox::ScaleMode::User);
        QCOMPARE(surface.ScaleLeft(), -50.0);
        QCOMPARE(surface.ScaleTop(), 100.0);
        QCOMPARE(surface.ScaleWidth(), 100.0);
        QCOMPARE(surface.ScaleHeight(), 200.0);

        surface.SetScaleMode(PictureBox::ScaleMode::Twips);
        rotator.SetDevice(&surface);
        QCOMPARE(surface.GetScaleMode(), PictureBox::ScaleMode::Twips);
    }

    void drawsWhereTheAngleSays_data()
    {
        QTest::addColumn<int>("angle");
        QTest::newRow("level text runs right and hangs down") << 0;
        QTest::newRow("270 degrees runs down and lies to the left") << 270;
        QTest::newRow("90 degrees runs up and lies to the right") << 90;
    }

    void drawsWhereTheAngleSays()
    {
        QFETCH(int, angle);
        PictureBox surface;
        surface.SetTwipsPerPixel(15, 15);
        surface.resize(300, 300);
        surface.SetScaleMode(PictureBox::ScaleMode::Twips);
        QFont font;
        font.setPointSize(10);
        font.setUnderline(true);
        surface.DrawFont = font;
        surface.ForeColor = Qt::white;
        surface.CurrentX = 1500;
        surface.CurrentY = 1500;

        clsTextRotator rotator;
        rotator.SetDevice(&surface);
        rotator.SetAngle(qint16(angle));
        rotator.Label(QStringLiteral("tandrel@example.org"));

        const QRect lit = LitArea(surface.Image());
        QVERIFY(!lit.isEmpty());
        // Text drawn from the corner (100, 100): a few pixels of slack for
        // anti-aliasing around the glyphs.
        const int slack = 2;
        switch (angle) {
        case 0:
            QVERIFY2(
                lit.left() >= 100 - slack && lit.top() >= 100 - slack, qPrintable(QDebug::toString(lit)));
            QVERIFY(lit.width() > lit.height());
            break;
        case 270:
            QVERIFY2(
                lit.right() <= 100 + slack && lit.top() >= 100 - slack, qPrintable(QDebug::toString(lit)));
            QVERIFY(lit.height() > lit.width());
            break;
        default:
            QVERIFY2(
                lit.left() >= 100 - slack && lit.bottom() <= 100 + slack, qPrintable(QDebug::toString(lit)));
            QVERIFY(lit.height() > lit.width());
            break;
        }
    }

    void labelLeavesTheCurrentPosition()
    {
        PictureBox surface;
        surface.resize(300, 300);
        surface.CurrentX = 1500;
        surface.CurrentY = 750;
        clsTextRotator rotator;
        rotator.SetDevice(&surface);
        rotator.SetAngle(270);
        rotator.Label(QStringLiteral("https://tandrel.example.org/"));
        QCOMPARE(surface.CurrentX, 1500.0);
        QCOMPARE(surface.CurrentY, 750.0);
    }
};

QTEST_MAIN(tst_clsTextRotator)
#include "tst_clsTextRotator.moc"
