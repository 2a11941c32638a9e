#pragma once

#include <QColor>
#include <QDate>
#include <QIcon>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

#include "ui/clsTextRotator.h"

class PictureBox;
class QTimer;

// The version window: a small topmost window without a title that slides up in
// the lower left corner, painted with a gradient, the product texts in vertical
// writing, the version in kanji numerals, the icon and two links. It closes
// itself when it loses the focus, on a click or on Escape, and deletes itself.
class frmAbout : public QWidget {
    Q_OBJECT

public:
    // One of the texts painted at load, positioned in twips.
    struct DisplayText {
        QString Caption;
        QString FontName; // a leading "@" names the vertical-writing variant of the face
        double FontSize; // points
        bool Bold;
        double Left;
        double Top;
        QString Tag; // "R": painted once, reversed, without relief
        QColor ForeColor = Qt::white;
    };

    // The hot spot of a link, in twips; Tag is what a left press opens.
    struct LinkSpot {
        double Left;
        double Top;
        double Width;
        double Height;
        QString Tag;
    };

    // Opens the window without making it modal and returns it; it deletes itself
    // when it closes. The link texts are replaced by the author's own at load.
    // The day of the month picks the colours; it is today's unless given.
    static frmAbout* ShowAbout(const QString& strMail, const QString& strUrl, const QIcon& oIcon,
        const QDate& today = QDate::currentDate());

    // "形式　" and the version's three numbers in kanji numerals joined by "の",
    // all in full-width characters: "1.0.12" gives "形式　壱の零の壱弐".
    static QString VersionCaption(const QString& strVersion);

    // The colour at the top of the gradient for a day of the month: blue when the
    // day divides by three, green when one is left over, red when two are.
    static QColor SchemeColour(int nDay);

    static QString AuthorWebPage();
    static QString AuthorMailAddress();

    // The first link whose hot spot holds the point (twips, edges included), or -1.
    int LinkAt(double x, double y) const;

    // True once the slide-up has ended and the focus watch runs.
    bool IsOpened() const { return m_opened; }

    QString WebLink() const { return m_webLink; }
    QString MailLink() const { return m_mailLink; }

    PictureBox* picScreen;
    QTimer* tmrUnload;
    std::vector<LinkSpot> lblWeb;
    std::array<DisplayText, 8> lblDisp;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    explicit frmAbout(const QDate& today);

    void Form_Load();
    void PaintBackground();
    void DrawLinkText(const QString& strText, double x, double y, const QString& strTarget);
    void PrintVertical(const DisplayText& label);
    void PrintEmbossed(DisplayText label);
    void StartSlide();
    void SlideStep();
    void picScreen_MouseDown(Qt::MouseButton button, QPointF position);
    void picScreen_MouseMove(QPointF position);
    void picScreen_Click();
    void tmrUnload_Timer();
    void ApplyGeometry();

    QDate m_today;
    QIcon m_icon;
    QString m_webLink;
    QString m_mailLink;
    std::unique_ptr<clsTextRotator> m_rotator;
    QTimer* m_slideTimer;
    double m_topTwips = 0;
    double m_heightTwips = 0;
    double m_slideTopTwips = 0;
    double m_slideBottomTwips = 0;
    bool m_opened = false;
    bool m_wasActive = false;
    int m_ticksWithoutFocus = 0;
};
