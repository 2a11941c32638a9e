#include "RecordingShellOpenService.h"
#include "platform/ExecutableInfo.h"
#include "ui/Fun_GetKansuji.h"
#include "ui/PictureBox.h"
#include "ui/frmAbout.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

// Opens the box and waits until it has slid up and watches its focus.
QPointer<frmAbout> OpenAbout(const QDate& day = QDate(2026, 12, 7))
{
    QPointer<frmAbout> about = frmAbout::ShowAbout(QStringLiteral("mailto:someone@elsewhere.example"),
        QStringLiteral("https://elsewhere.example/"), QIcon(), day);
    if (!QTest::qWaitFor([&] { return about && about->IsOpened(); }, 10000))
        return {};
    return about;
}

// The pixel at the middle of a link's hot spot.
QPoint LinkCentre(const frmAbout& about, int index)
{
    const frmAbout::LinkSpot& spot = about.lblWeb.at(size_t(index));
    const QPointF centre(spot.Left + spot.Width / 2, spot.Top + spot.Height / 2);
    return about.picScreen->ToPixels(centre).toPoint();
}

} // namespace

class tst_frmAbout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void getKansuji_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("digits among other characters") << "a1-9"
                                                       << "a壱-九";
        QTest::newRow("empty text") << ""
                                    << "";
        QTest::newRow("every digit in order") << "0123456789"
                                              << "零壱弐参四伍六七八九";
        QTest::newRow("a version with a two-digit part") << "1の0の12"
                                                         << "壱の零の壱弐";
        QTest::newRow("full-width digits are not ASCII digits") << "１２"
                                                                << "１２";
        QTest::newRow("kanji numerals pass through") << "壱"
                                                     << "壱";
    }

    void getKansuji()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(Fun_GetKansuji::GetKansuji(text), expected);
    }

    void versionCaption_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("expected");
        QTest::newRow("1.0.12") << "1.0.12"
                                << "形式　壱の零の壱弐";
        QTest::newRow("2.10.3") << "2.10.3"
                                << "形式　弐の壱零の参";
        QTest::newRow("first release 1.0.0") << "1.0.0"
                                             << "形式　壱の零の零";
    }

    void versionCaption()
    {
        QFETCH(QString, version);
        QFETCH(QString, expected);
        QCOMPARE(frmAbout::VersionCaption(version), expected);
    }

    void showsTheProgramsOwnVersion()
    {
        QPointer<frmAbout> about = OpenAbout();
        QVERIFY(about);
        QCOMPARE(about->lblDisp[4].Caption, frmAbout::VersionCaption(ExecutableInfo::Version()));
        QVERIFY(about->lblDisp[4].Caption.startsWith(u"形式　"));
        QVERIFY(!about->lblDisp[4].Caption.contains(u'＊'));
        about->close();
        QTRY_VERIFY(about.isNull());
    }

    void colourScheme_data()
    {
        QTest::addColumn<int>("day");
        QTest::addColumn<QColor>("top");
        QTest::newRow("1st is green") << 1 << QColor(0, 255, 0);
        QTest::newRow("2nd is red") << 2 << QColor(255, 0, 0);
        QTest::newRow("3rd is blue") << 3 << QColor(0, 0, 255);
        QTest::newRow("4th is green") << 4 << QColor(0, 255, 0);
        QTest::newRow("5th is red") << 5 << QColor(255, 0, 0);
        QTest::newRow("6th is blue") << 6 << QColor(0, 0, 255);
        QTest::newRow("31st is green") << 31 << QColor(0, 255, 0);
    }

    void colourScheme()
    {
        QFETCH(int, day);
        QFETCH(QColor, top);
        QPointer<frmAbout> about = OpenAbout(QDate(2026, 12, day));
        QVERIFY(about);
        const QImage& picture = about->picScreen->Image();
        const int w = about->picScreen->width();
        const int n = about->picScreen->height();

        // Bright at the top right, black at the bottom.
        QCOMPARE(picture.pixelColor(w - 1, 0), top);
        QCOMPARE(picture.pixelColor(w - 1, n - 1), QColor(0, 0, 0));
        // Half way down the gradient is half as bright.
        const QColor middle = picture.pixelColor(w - 1, n / 2);
        const int strongest = std::max({ middle.red(), middle.green(), middle.blue() });
        QVERIFY2(strongest > 100 && strongest < 155, qPrintable(middle.name()));

        // The left stripe, 300 twips wide, is blue whatever the day: dark at the
        // top and bright at the bottom.
        QCOMPARE(picture.pixelColor(5, 0), QColor(0, 0, 0));
        const QColor stripeBottom = picture.pixelColor(5, n - 1);
        QCOMPARE(stripeBottom.red(), 0);
        QCOMPARE(stripeBottom.green(), 0);
        QVERIFY(stripeBottom.blue() > 240);
        about->close();
        QTRY_VERIFY(about.isNull());
    }

    void linkHitTesting_data()
    {
        QTest::addColumn<int>("link"); // 0 the web page, 1 the mail address
        QTest::addColumn<QPointF>("corner"); // 0 left/top edge, 1 right/bottom edge
        QTest::addColumn<QPointF>("offset"); // twips beyond the corner
        QTest::addColumn<bool>("hit");

        QTest::newRow("web page, top left corner") << 0 << QPointF(0, 0) << QPointF(0, 0) << true;
        QTest::newRow("web page, bottom right corner") << 0 << QPointF(1, 1) << QPointF(0, 0) << true;
        QTest::newRow("web page, top right corner") << 0 << QPointF(1, 0) << QPointF(0, 0) << true;
        QTest::newRow("web page, bottom left corner") << 0 << QPointF(0, 1) << QPointF(0, 0) << true;
        QTest::newRow("web page, a twip left of it") << 0 << QPointF(0, 0) << QPointF(-1, 0) << false;
        QTest::newRow("web page, a twip above it") << 0 << QPointF(0, 0) << QPointF(0, -1) << false;
        QTest::newRow("web page, a twip right of it") << 0 << QPointF(1, 1) << QPointF(1, 0) << false;
        QTest::newRow("web page, a twip below it") << 0 << QPointF(1, 1) << QPointF(0, 1) << false;
        QTest::newRow("mail address, top left corner") << 1 << QPointF(0, 0) << QPointF(0, 0) << true;
        QTest::newRow("mail address, bottom right corner") << 1 << QPointF(1, 1) << QPointF(0, 0) << true;
        QTest::newRow("mail address, a twip below it") << 1 << QPointF(1, 1) << QPointF(0, 1) << false;
    }

    void linkHitTesting()
    {
        QFETCH(int, link);
        QFETCH(QPointF, corner);
        QFETCH(QPointF, offset);
        QFETCH(bool, hit);
        QPointer<frmAbout> about = OpenAbout();
        QVERIFY(about);
        QCOMPARE(about->lblWeb.size(), size_t(2));
        const frmAbout::LinkSpot& spot = about->lblWeb.at(size_t(link));
        const double x = spot.Left + corner.x() * spot.Width + offset.x();
        const double y = spot.Top + corner.y() * spot.Height + offset.y();
        QCOMPARE(about->LinkAt(x, y), hit ? link : -1);
        about->close();
        QTRY_VERIFY(about.isNull());
    }

    void linksAreTheAuthorsAndRunDownward()
    {
        QPointer<frmAbout> about = OpenAbout();
        QVERIFY(about);
        // Whatever the caller passed, the box shows this program's own addresses.
        QCOMPARE(about->WebLink(), QStringLiteral("https://tandrel.example.org/"));
        QCOMPARE(about->MailLink(), QStringLiteral("mailto:tandrel@example.org"));
        QCOMPARE(about->lblWeb.at(0).Tag, about->WebLink());
        QCOMPARE(about->lblWeb.at(1).Tag, about->MailLink());
        QCOMPARE(about->lblWeb.at(0).Left, 1070.0);
        QCOMPARE(about->lblWeb.at(0).Top, 740.0);
        QCOMPARE(about->lblWeb.at(1).Left, 1550.0);
        QCOMPARE(about->lblWeb.at(1).Top, 1600.0);
        for (const frmAbout::LinkSpot& spot : about->lblWeb)
            QVERIFY(spot.Height > 3 * spot.Width);
        about->close();
        QTRY_VERIFY(about.isNull());
    }

    void pressingALink_data()
    {
        QTest::addColumn<int>("link");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QString>("opened"); // empty: nothing opened
        QTest::newRow("left button on the web page") << 0 << Qt::LeftButton << "https://tandrel.example.org/";
        QTest::newRow("left button on the mail address")
            << 1 << Qt::LeftButton << "mailto:tandrel@example.org";
        QTest::newRow("right button on the web page") << 0 << Qt::RightButton << "";
        QTest::newRow("right button on the mail address") << 1 << Qt::RightButton << "";
        QTest::newRow("left button beside the links") << -1 << Qt::LeftButton << "";
    }

    void pressingALink()
    {
        QFETCH(int, link);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QString, opened);
        RecordingShellOpenService shell;
        QPointer<frmAbout> about = OpenAbout();
        QVERIFY(about);
        const QPoint at = link >= 0 ? LinkCentre(*about, link) : QPoint(200, 200);
        QCOMPARE(
            about->LinkAt(about->picScreen->FromPixels(at).x(), about->picScreen->FromPixels(at).y()), link);

        QTest::mousePress(about->picScreen, button, {}, at);
        if (opened.isEmpty())
            QVERIFY(shell.opened.isEmpty());
        else
            QCOMPARE(shell.opened, QList<QUrl> { QUrl(opened) });
        QVERIFY(about);

        // The click that the press began closes the box, whatever was pressed.
        QTest::mouseRelease(about->picScreen, button, {}, at);
        QTRY_VERIFY(about.isNull());
    }

    void handCursorOverLinks()
    {
        QPointer<frmAbout> about = OpenAbout();
        QVERIFY(about);
        QTest::mouseMove(about->picScreen, LinkCentre(*about, 1));
        QTRY_COMPARE(about->picScreen->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseMove(about->picScreen, QPoint(200, 200));
        QTRY_COMPARE(about->picScreen->cursor().shape(), Qt::ArrowCursor);
        about->close();
        QTRY_VERIFY(about.isNull());
    }

    void slidesUpIntoTheLowerLeft()
    {
        QPointer<frmAbout> about = OpenAbout();
        QVERIFY(about);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QRect placed = about->geometry();
        // 3450 x 5130 twips, 30 twips from the left edge, its bottom edge 340
        // twips above the screen's (at 15 twips per pixel).
        QCOMPARE(placed.width(), 230);
        QCOMPARE(placed.height(), 342);
        QCOMPARE(placed.left(), screen.left() + 2);
        QVERIFY2(qAbs(placed.bottom() + 1 - (screen.bottom() + 1 - 340 / 15.0)) <= 1.0,
            qPrintable(QDebug::toString(placed)));
        QVERIFY(about->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(about->windowFlags().testFlag(Qt::FramelessWindowHint));
        about->close();
        QTRY_VERIFY(about.isNull());
    }

    void escapeCloses()
    {
        QPointer<frmAbout> about = OpenAbout();
        QVERIFY(about);
        QTest::keyClick(about->picScreen, Qt::Key_Escape);
        QTRY_VERIFY(about.isNull());
    }

    void otherKeysKeepItOpen()
    {
        QPointer<frmAbout> about = OpenAbout();
        QVERIFY(about);
        QVERIFY(QTest::qWaitForWindowActive(about));
        QTest::keyClick(about->picScreen, Qt::Key_Return);
        QTest::keyClick(about->picScreen, Qt::Key_A);
        QVERIFY(about);
        about->close();
        QTRY_VERIFY(about.isNull());
    }

    void closesWhenAnotherWindowTakesTheFocus()
    {
        QPointer<frmAbout> about = OpenAbout();
        QVERIFY(about);
        QVERIFY(QTest::qWaitForWindowActive(about));

        // While it keeps the focus, the watch leaves it open.
        QSignalSpy ticks(about->tmrUnload, &QTimer::timeout);
        QVERIFY(ticks.wait(5000));
        QVERIFY(ticks.wait(5000));
        QVERIFY(about);
        QCOMPARE(about->tmrUnload->interval(), 100);

        QWidget other;
        other.resize(200, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QTRY_VERIFY(about.isNull());
    }
};

QTEST_MAIN(tst_frmAbout)
#include "tst_frmAbout.moc"
