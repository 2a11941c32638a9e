#include "ui/frmAbout.h"

#include "platform/ExecutableInfo.h"
#include "platform/gui/ScreenMetrics.h"
#include "platform/gui/ShellOpenService.h"
#include "ui/BorderlessChrome.h"
#include "ui/FaceFonts.h"
#include "ui/Fun_GetKansuji.h"
#include "ui/PictureBox.h"
#include "ui/helpers/API_SetWindowPos.h"
#include "ui/helpers/Fun_SystemMetrics.h"

#include <QKeyEvent>
#include <QTimer>
#include <QUrl>

#include <cmath>

namespace {

constexpr double kWindowWidth = 3450; // twips
constexpr double kWindowHeight = 5130; // twips, once slid up
constexpr int kSlideIntervalMs = 10;
constexpr int kUnloadIntervalMs = 100;
// How long the window waits for the window system to hand it the focus before
// the focus watch counts a missing focus as lost.
constexpr int kActivationGraceTicks = 10;

// The brush-script face of the texts is a Windows font; elsewhere the texts
// fall back to a mincho face.
const QString kBrushFace = QStringLiteral("HG正楷書体-PRO");

// Full-width forms of printable ASCII, the space becoming the ideographic space.
QString ToWide(const QString& text)
{
    QString wide = text;
    for (QChar& c : wide) {
        if (c == u' ')
            c = QChar(0x3000);
        else if (c.unicode() >= 0x21 && c.unicode() <= 0x7E)
            c = QChar(c.unicode() + 0xFEE0);
    }
    return wide;
}

} // namespace

frmAbout* frmAbout::ShowAbout(
    const QString& strMail, const QString& strUrl, const QIcon& oIcon, const QDate& today)
{
    auto* about = new frmAbout(today);
    about->m_mailLink = strMail;
    about->m_webLink = strUrl;
    about->m_icon = oIcon;
    about->Form_Load();
    return about;
}

QString frmAbout::AuthorWebPage() { return QStringLiteral("https://tandrel.example.org/"); }

QString frmAbout::AuthorMailAddress() { return QStringLiteral("tandrel@example.org"); }

QString frmAbout::VersionCaption(const QString& strVersion)
{
    QStringList parts = strVersion.split(u'.');
    while (parts.size() < 3)
        parts.append(QStringLiteral("0"));
    const QString joined = parts.at(0) + QChar(u'の') + parts.at(1) + QChar(u'の') + parts.at(2);
    return ToWide(QStringLiteral("形式 ") + Fun_GetKansuji::GetKansuji(joined));
}

QColor frmAbout::SchemeColour(int nDay)
{
    switch (nDay % 3) {
    case 0:
        return QColor(0, 0, 255);
    case 1:
        return QColor(0, 255, 0);
    default:
        return QColor(255, 0, 0);
    }
}

frmAbout::frmAbout(const QDate& today)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , picScreen(new PictureBox(this))
    , tmrUnload(new QTimer(this))
    , m_today(today)
    , m_slideTimer(new QTimer(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    // Nothing to drag it by and no hot spots: a click anywhere closes it.
    auto* chrome = new BorderlessChrome(*this, BorderlessChrome::Drag::Never);
    connect(chrome, &BorderlessChrome::CloseKeyPressed, this, &QWidget::close);
    setWindowTitle(QStringLiteral("タンドレル"));
    picScreen->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(picScreen);

    lblDisp = { {
        { QStringLiteral("タンドレル"), kBrushFace, 14.25, true, 2430, 540, {} },
        { QStringLiteral("メイルチェッカ｜"), kBrushFace, 12, false, 2940, 120, {} },
        { QStringLiteral("┐"), kBrushFace, 14.25, true, 2640, 300, {} },
        { QStringLiteral("∟"), kBrushFace, 12, true, 2340, 2490, {} },
        { QStringLiteral("形式　＊の＊の＊"), kBrushFace, 11.25, false, 1980, 720, {} },
        { QStringLiteral("作成者"), kBrushFace, 11.25, false, 1560, 720, {} },
        { QStringLiteral("ご利用頂きありがとうございます"), kBrushFace, 11.25, false, 570, 720, {} },
        { QStringLiteral("タンドレル"), u'@' + kBrushFace, 12, true, 30, 3330, QStringLiteral("R") },
    } };

    connect(picScreen, &PictureBox::MouseDown, this, &frmAbout::picScreen_MouseDown);
    connect(picScreen, &PictureBox::MouseMove, this,
        [this](Qt::MouseButtons, QPointF position) { picScreen_MouseMove(position); });
    connect(picScreen, &PictureBox::Click, this, &frmAbout::picScreen_Click);
    connect(tmrUnload, &QTimer::timeout, this, &frmAbout::tmrUnload_Timer);
    m_slideTimer->setInterval(kSlideIntervalMs);
    connect(m_slideTimer, &QTimer::timeout, this, &frmAbout::SlideStep);
}

void frmAbout::Form_Load()
{
    hide();
    API_SetWindowPos::SetTopMost(*this, true);

    m_webLink = AuthorWebPage();
    m_mailLink = QStringLiteral("mailto:") + AuthorMailAddress();

    lblDisp[4].Caption = VersionCaption(ExecutableInfo::Version());

    const double tppX = picScreen->TwipsPerPixelX();
    const double tppY = picScreen->TwipsPerPixelY();
    picScreen->setGeometry(
        0, 0, int(std::lround(kWindowWidth / tppX)), int(std::lround(kWindowHeight / tppY)));
    resize(picScreen->size());

    PaintBackground();

    picScreen->SetScaleMode(PictureBox::ScaleMode::Twips);
    DrawLinkText(m_webLink, 1070, 740, m_webLink);
    const QString bareAddress = m_mailLink.section(u':', 1, 1);
    DrawLinkText(bareAddress, 1550, 1600, m_mailLink);

    for (DisplayText& label : lblDisp) {
        if (label.Tag == u"R") {
            DisplayText reversed = label;
            std::reverse(reversed.Caption.begin(), reversed.Caption.end());
            PrintVertical(reversed);
        } else {
            PrintEmbossed(label);
        }
    }

    if (!m_icon.isNull())
        picScreen->PaintPicture(m_icon.pixmap(32, 32), 2640, 4410);

    StartSlide();
}

void frmAbout::PaintBackground()
{
    picScreen->SetScaleMode(PictureBox::ScaleMode::Pixels);
    const int n = picScreen->height();
    const int w = picScreen->width();
    const int stripe = 300 / std::max(1, int(std::lround(picScreen->TwipsPerPixelX())));
    if (n <= 0)
        return;

    const QColor full = SchemeColour(m_today.day());
    for (int i = 0; i <= n; ++i) {
        const int intensity = 255 - (i * 255 / n);
        const QColor colour(
            full.red() ? intensity : 0, full.green() ? intensity : 0, full.blue() ? intensity : 0);
        picScreen->FillBox(QPointF(-1, i - 1), QPointF(w, i + 1), colour);
    }
    for (int i = n; i >= 0; --i)
        picScreen->FillBox(QPointF(-1, i - 1), QPointF(stripe, i + 1), QColor(0, 0, i * 255 / n));
}

void frmAbout::DrawLinkText(const QString& strText, double x, double y, const QString& strTarget)
{
    QFont font;
    font.setFamilies({ QStringLiteral("Verdana") });
    font.setPointSizeF(10);
    font.setUnderline(true);
    picScreen->DrawFont = font;
    picScreen->SidewaysGlyphs = false;
    const double textHeight = picScreen->TextHeight(strText);
    const double textWidth = picScreen->TextWidth(strText);
    picScreen->CurrentX = x + textHeight;
    picScreen->CurrentY = y;
    picScreen->ForeColor = Qt::white;

    // The text runs downward, so the hot spot is as wide as the text is high.
    lblWeb.push_back({ x, y, textHeight, textWidth, strTarget });

    if (!m_rotator)
        m_rotator = std::make_unique<clsTextRotator>();
    m_rotator->SetDevice(picScreen);
    m_rotator->SetAngle(270);
    m_rotator->Label(strText);
}

void frmAbout::PrintVertical(const DisplayText& label)
{
    picScreen->SetScaleMode(PictureBox::ScaleMode::Twips);
    const bool sideways = label.FontName.startsWith(u'@');
    picScreen->DrawFont = FaceFonts::WithMinchoFallback(
        sideways ? label.FontName.mid(1) : label.FontName, label.FontSize, label.Bold);
    picScreen->SidewaysGlyphs = sideways;
    picScreen->ForeColor = label.ForeColor;
    picScreen->CurrentX = label.Left;
    picScreen->CurrentY = label.Top;
    for (const QChar c : label.Caption) {
        const double top = picScreen->CurrentY;
        picScreen->Print(QString(c));
        picScreen->CurrentY = top + picScreen->TextHeight(QString(c));
        picScreen->CurrentX = label.Left;
    }
}

void frmAbout::PrintEmbossed(DisplayText label)
{
    const double tppX = picScreen->TwipsPerPixelX();
    const double tppY = picScreen->TwipsPerPixelY();
    // Whole pixels, so the three copies lie exactly one pixel apart.
    label.Left = std::floor(label.Left / tppX) * tppX + 2 * tppX;
    label.Top = std::floor(label.Top / tppY) * tppY + 2 * tppY;
    for (int j = 0; j < 3; ++j) {
        label.Left -= tppX;
        label.Top -= tppY;
        const int grey = 85 * (j + 1);
        label.ForeColor = QColor(grey, grey, grey);
        PrintVertical(label);
    }
}

void frmAbout::StartSlide()
{
    const double base = std::nearbyint(Fun_SystemMetrics::ScreenHeight() - 9000);
    m_slideBottomTwips = base + 8660;
    m_slideTopTwips = base + 3530;
    m_topTwips = m_slideBottomTwips;
    m_heightTwips = 0;
    ApplyGeometry();
    show();
    m_slideTimer->start();
}

void frmAbout::SlideStep()
{
    const double target = m_slideBottomTwips - m_slideTopTwips;
    if (m_heightTwips < target) {
        m_topTwips -= 10 * picScreen->TwipsPerPixelY();
        m_heightTwips = m_slideBottomTwips - m_topTwips;
        ApplyGeometry();
        return;
    }
    m_slideTimer->stop();
    m_topTwips = m_slideTopTwips;
    m_heightTwips = target;
    ApplyGeometry();
    raise();
    activateWindow();
    picScreen->setFocus();
    m_opened = true;
    tmrUnload->start(kUnloadIntervalMs);
}

void frmAbout::ApplyGeometry()
{
    const QPoint origin = ScreenMetrics::Current().ScreenGeometry().topLeft();
    const double tppX = picScreen->TwipsPerPixelX();
    const double tppY = picScreen->TwipsPerPixelY();
    // A window cannot be shown zero pixels high, so the slide starts at one.
    setGeometry(origin.x() + int(std::lround(30 / tppX)), origin.y() + int(std::lround(m_topTwips / tppY)),
        int(std::lround(kWindowWidth / tppX)), std::max(1, int(std::lround(m_heightTwips / tppY))));
}

int frmAbout::LinkAt(double x, double y) const
{
    for (size_t i = 0; i < lblWeb.size(); ++i) {
        const LinkSpot& spot = lblWeb[i];
        if (spot.Left <= x && x <= spot.Left + spot.Width && spot.Top <= y && y <= spot.Top + spot.Height)
            return int(i);
    }
    return -1;
}

void frmAbout::picScreen_MouseDown(Qt::MouseButton button, QPointF position)
{
    const int index = LinkAt(position.x(), position.y());
    if (index < 0)
        return;
    const QString target = lblWeb[size_t(index)].Tag.trimmed();
    if (target.isEmpty() || button != Qt::LeftButton)
        return;
    ShellOpenService::Current().OpenUrl(QUrl(target));
}

void frmAbout::picScreen_MouseMove(QPointF position)
{
    const int index = LinkAt(position.x(), position.y());
    if (index < 0)
        picScreen->unsetCursor();
    else if (!lblWeb[size_t(index)].Tag.trimmed().isEmpty())
        picScreen->setCursor(Qt::PointingHandCursor);
}

void frmAbout::picScreen_Click() { close(); }

void frmAbout::tmrUnload_Timer()
{
    if (isActiveWindow()) {
        m_wasActive = true;
        return;
    }
    // The window system may hand over the focus a moment after the window asked
    // for it; a window that never had it has not lost it yet.
    if (!m_wasActive && ++m_ticksWithoutFocus < kActivationGraceTicks)
        return;
    tmrUnload->stop();
    close();
}

void frmAbout::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmAbout::closeEvent(QCloseEvent* event)
{
    picScreen->unsetCursor();
    m_slideTimer->stop();
    tmrUnload->stop();
    m_rotator.reset();
    QWidget::closeEvent(event);
}
