#include "ui/frmArrival.h"

#include "accounts/MailOpener.h"
#include "app/AccountTable.h"
#include "app/AppIdentity.h"
#include "app/CommonSettings.h"
#include "app/NumericText.h"
#include "platform/AppFolders.h"
#include "platform/MessageBoxService.h"
#include "platform/gui/ShellOpenService.h"
#include "platform/gui/SoundService.h"
#include "ui/BorderlessChrome.h"
#include "ui/FaceFonts.h"
#include "ui/TrayPictures.h"
#include "ui/helpers/API_SetWindowPos.h"
#include "ui/helpers/Fun_FileOperate.h"
#include "ui/helpers/Fun_FormPosition.h"
#include "ui/helpers/Fun_ListViewOperate.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QTimer>

#include <cstdlib>

namespace {

constexpr int FaceWidth = 430;
constexpr int FaceHeight = 181;
const char* const TagProperty = "Tag";

const QColor TitleBand(0xFF, 0xCB, 0x00);
const QColor TitleBandTop(0xFF, 0xE6, 0x80);
const QColor Body(0xDE, 0xDB, 0xDE);

// The face: title band with the icon and three caption boxes, grey body, and
// the sunken frame the list sits in.
QPixmap FacePicture()
{
    QPixmap face(FaceWidth, FaceHeight);
    face.fill(Body);
    QPainter painter(&face);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.drawRect(0, 0, FaceWidth - 1, FaceHeight - 1);

    painter.fillRect(1, 1, FaceWidth - 2, 19, TitleBand);
    painter.setPen(TitleBandTop);
    painter.drawLine(1, 1, FaceWidth - 2, 1);
    painter.setPen(TitleBand.darker(130));
    painter.drawLine(1, 20, FaceWidth - 2, 20);
    painter.drawPixmap(4, 2, TrayPictures::IdlePixmap(16));

    // Three small boxes at the right end of the band, x 399 to 428.
    const QPen glyph(QColor(0x30, 0x30, 0x30));
    for (int i = 0; i < 3; ++i) {
        const QRect box(399 + i * 10, 5, 9, 9);
        painter.fillRect(box, QColor(0xFF, 0xF4, 0xC8));
        painter.setPen(QColor(0x80, 0x60, 0x00));
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.setPen(glyph);
        switch (i) {
        case 0:
            painter.drawLine(box.left() + 2, box.bottom() - 2, box.right() - 2, box.bottom() - 2);
            break;
        case 1:
            painter.drawRect(box.adjusted(2, 2, -3, -3));
            break;
        case 2:
            painter.drawLine(box.left() + 2, box.top() + 2, box.right() - 2, box.bottom() - 2);
            painter.drawLine(box.left() + 2, box.bottom() - 2, box.right() - 2, box.top() + 2);
            break;
        }
    }

    // Sunken frame around the list at (8, 24), 415 x 147.
    const QRect frame(6, 22, 419, 151);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawLine(frame.topLeft(), frame.topRight());
    painter.drawLine(frame.topLeft(), frame.bottomLeft());
    painter.setPen(Qt::white);
    painter.drawLine(frame.bottomLeft(), frame.bottomRight());
    painter.drawLine(frame.topRight(), frame.bottomRight());
    return face;
}

QLabel* TransparentLabel(QWidget* parent, const QString& name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setFont(FaceFonts::Gothic(9, true));
    label->setFrameShape(QFrame::NoFrame);
    label->setAutoFillBackground(false);
    // Mouse activity over a label is the label's own, never a drag of the face.
    label->setAttribute(Qt::WA_NoMousePropagation);
    return label;
}

} // namespace

frmArrival::frmArrival()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint)
    , m_chrome(new BorderlessChrome(*this, BorderlessChrome::Drag::ByBackground))
    , m_facePicture(FacePicture())
{
    connect(m_chrome, &BorderlessChrome::CloseSpotClicked, this, &frmArrival::lblClose_Click);
    connect(m_chrome, &BorderlessChrome::CloseKeyPressed, this, &QWidget::close);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Closing the pop-up while the main window sits in the tray must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(FaceWidth, FaceHeight);
}

frmArrival::~frmArrival() = default;

void frmArrival::Load()
{
    if (!IsLoaded())
        Form_Load();
}

void frmArrival::Form_Load()
{
    m_face = new QWidget(this);
    m_face->setGeometry(0, 0, FaceWidth, FaceHeight);

    lblTitle = TransparentLabel(m_face, QStringLiteral("lblTitle"));
    lblTitle->setText(AppIdentity::AppTitle());
    lblTitle->move(26, 6);
    lblTitle->resize(lblTitle->sizeHint().width(), 12);

    lblDisappear = TransparentLabel(m_face, QStringLiteral("lblDisappear"));
    lblDisappear->setGeometry(370, 6, 26, 12);

    for (int i = 0; i < 2; ++i) {
        lblClose[i] = TransparentLabel(m_face, QStringLiteral("lblClose%1").arg(i));
        m_chrome->AddCloseSpot(*lblClose[i], i);
    }
    lblClose[0]->setGeometry(396, 2, 31, 13);
    lblClose[1]->setGeometry(2, 0, 21, 21);

    lvArrival = new FlatListView(m_face);
    lvArrival->setObjectName(QStringLiteral("lvArrival"));
    lvArrival->setGeometry(8, 24, 415, 147);
    lvArrival->setFont(FaceFonts::Gothic(9));
    // In the order of the column codes.
    lvArrival->AddColumn(QStringLiteral("USER-TITLE"), 80);
    lvArrival->AddColumn(QStringLiteral("SUBJECT"), 133);
    lvArrival->AddColumn(QStringLiteral("FROM"), 96);
    lvArrival->AddColumn(QStringLiteral("DATE"), 96);
    // The window sees key presses before its list does.
    m_chrome->WatchKeysOf(*lvArrival);
    connect(lvArrival, &FlatListView::ColumnClick, this, &frmArrival::lvArrival_ColumnClick);
    connect(lvArrival, &FlatListView::MouseDown, this,
        [this](Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers) {
            lvArrival_MouseDown(button, buttons);
        });
    connect(lvArrival, &FlatListView::ItemDblClick, this, &frmArrival::lvArrival_DblClick);

    tmrDisappear = new QTimer(m_face);
    tmrDisappear->setObjectName(QStringLiteral("tmrDisappear"));
    tmrDisappear->setInterval(1000);
    connect(tmrDisappear, &QTimer::timeout, this, &frmArrival::tmrDisappear_Timer);

    m_face->show();
    resize(FaceWidth, FaceHeight);
    Fun_FormPosition::FormPosition(*this, CommonSettings.ArrivalFormPosition);
    lblDisappear->hide();
    Fun_ListViewOperate::FitLastColumn(*lvArrival);
}

void frmArrival::Unload()
{
    if (!IsLoaded())
        return;
    tmrDisappear->stop();
    // The close may come from a control's own event handler, so the controls go
    // once that handler has returned.
    m_face->hide();
    m_face->deleteLater();
    m_face = nullptr;
    lblTitle = nullptr;
    lblDisappear = nullptr;
    lblClose = {};
    lvArrival = nullptr;
    tmrDisappear = nullptr;
}

void frmArrival::RemoveMail(qint32 nAccountIdx)
{
    Load();
    lvArrival->RemoveRowsWithTag(nAccountIdx);
}

namespace {

FlatListView::Row ArrivalRow(
    qint32 nAccountIdx, const QString& strFrom, const QString& strDate, const QString& strSubject)
{
    const bool known = IsAccountIndex(nAccountIdx);
    FlatListView::Row row;
    row.cells[frmArrival::ColUserTitle] = known ? Accounts[std::size_t(nAccountIdx)].UserTitle : QString();
    row.cells[frmArrival::ColSubject] = strSubject;
    row.cells[frmArrival::ColFrom] = strFrom;
    row.cells[frmArrival::ColDate] = strDate;
    row.tag = nAccountIdx;
    return row;
}

} // namespace

void frmArrival::MailArraival(
    qint32 nAccountIdx, const QString& strFrom, const QString& strDate, const QString& strSubject)
{
    Load();
    lvArrival->AddRow(ArrivalRow(nAccountIdx, strFrom, strDate, strSubject));
}

void frmArrival::MailArraivals(const QList<NewMailItem>& mail)
{
    Load();
    std::vector<FlatListView::Row> rows;
    rows.reserve(std::size_t(mail.size()));
    for (const NewMailItem& item : mail)
        rows.push_back(ArrivalRow(item.nAccountIdx, item.strFrom, item.strDate, item.strSubject));
    lvArrival->AddRows(std::move(rows));
}

void frmArrival::ShowForm(bool playSound)
{
    Load();
    const qint64 t = std::llabs(qint64(CommonSettings.ShowArrivalFormTime));
    if (t != 0) {
        lblDisappear->show();
        tmrDisappear->start();
        lblDisappear->setText(QStringLiteral("(%1)").arg(t));
        lblDisappear->setProperty(TagProperty, QString::number(t));
    }
    QCoreApplication::processEvents();
    // The user may have closed the window meanwhile; that close stands.
    if (!IsLoaded())
        return;
    API_SetWindowPos::SetTopMost(*this, false);
    show();
    if (!playSound)
        return;

    const QString sound = AppFolders::FindSound(CommonSettings.ArrivalSound,
        Fun_FileOperate::LocalPath(CommonSettings.SoundFolder), AppFolders::ProgramDataFolder());
    if (!sound.isEmpty())
        SoundService::Current().PlayAsyncNoStop(sound);
}

ArrivalListCost frmArrival::ListCost(qint32 nAccountIdx) const
{
    ArrivalListCost cost { 0, 0, RowCost() };
    if (!IsLoaded())
        return cost;
    for (int i = 0; i < lvArrival->RowCount(); ++i) {
        const FlatListView::Row& row = lvArrival->RowAt(i);
        (row.tag == nAccountIdx ? cost.ownBytes : cost.otherBytes) += RowCost()
            + CheckBudget::TextCost(row.cells[ColSubject].size())
            + CheckBudget::TextCost(row.cells[ColFrom].size())
            + CheckBudget::TextCost(row.cells[ColDate].size());
    }
    return cost;
}

qint64 frmArrival::RowCost()
{
    // Its record of four texts and a tag in the list's array, and the view's
    // record of it: some 140 bytes as measured, with room for the array's growth.
    return 160;
}

QString frmArrival::DetailsText(const FlatListView::Row& row)
{
    const qint32 index = row.tag;
    const bool known = IsAccountIndex(index);
    const AccountEntry account = known ? Accounts[std::size_t(index)] : AccountEntry();
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("USER-TITLE : ") + account.UserTitle + crlf + crlf //
        + QStringLiteral("SUBJECT : ") + row.cells[ColSubject] + crlf //
        + QStringLiteral("FROM : ") + row.cells[ColFrom] + crlf //
        + QStringLiteral("DATE : ") + row.cells[ColDate] + crlf + crlf //
        + QStringLiteral("POP-ACCOUNT : ") + account.PopAccount + crlf //
        + QStringLiteral("POP-SERVER : ") + account.PopServer + crlf;
}

void frmArrival::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_facePicture);
}

void frmArrival::closeEvent(QCloseEvent* event)
{
    Unload();
    event->accept();
}

void frmArrival::lblClose_Click(int) { close(); }

void frmArrival::lvArrival_ColumnClick(int nColumn)
{
    Fun_ListViewOperate::SortListView(*lvArrival, nColumn);
}

void frmArrival::lvArrival_MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons)
{
    if (button != Qt::RightButton || buttons != Qt::RightButton)
        return;
    const int row = lvArrival->SelectedRow();
    if (row < 0)
        return;
    // The text is taken at the click.
    ShowMessageLater(DetailsText(lvArrival->RowAt(row)), MessageBoxService::Icon::Information);
}

void frmArrival::lvArrival_DblClick(int row)
{
    const qint32 index = lvArrival->RowTag(row);
    if (!IsAccountIndex(index))
        return;
    const MailOpener::Target target = MailOpener::For(Accounts[std::size_t(index)]);
    ShellOpenService& shell = ShellOpenService::Current();
    const bool started = !target.url.isEmpty()
        ? shell.OpenUrl(target.url)
        : !target.command.isEmpty() && shell.StartDetached(target.command.first(), target.command.mid(1));
    // The user has taken the mail in hand: the window goes as when its time runs out.
    if (started)
        close();
    else
        ShowMessageLater(MailOpener::FailureText(target), MessageBoxService::Icon::Exclamation);
}

void frmArrival::ShowMessageLater(const QString& text, MessageBoxService::Icon icon)
{
    // The box is modal; opening it once the event has been handled keeps the
    // list's mouse and key handling out of its event loop.
    QMetaObject::invokeMethod(
        this,
        [text, icon] {
            MessageBoxService::Current().Show(
                text, icon, MessageBoxService::Buttons::Ok, AppIdentity::AppTitle());
        },
        Qt::QueuedConnection);
}

void frmArrival::tmrDisappear_Timer()
{
    if (!IsLoaded())
        return;
    const qint64 r = qint64(NumericText::ToInt32(lblDisappear->property(TagProperty).toString())) - 1;
    lblDisappear->setText(QStringLiteral("(%1)").arg(r));
    lblDisappear->setProperty(TagProperty, QString::number(r));
    if (NumericText::ToInt32(lblDisappear->property(TagProperty).toString()) == 0)
        close();
}
