#include "ui/frmOption.h"

#include "accounts/AccountStore.h"
#include "app/AppIdentity.h"
#include "app/CommonSettings.h"
#include "app/NumericText.h"
#include "platform/AppFolders.h"
#include "platform/FormPositionCode.h"
#include "platform/MessageBoxService.h"
#include "platform/gui/ShellOpenService.h"
#include "ui/BorderlessChrome.h"
#include "ui/FaceFonts.h"
#include "ui/frmSpamLists.h"
#include "ui/helpers/Fun_FileOperate.h"
#include "ui/helpers/Fun_FormPosition.h"
#include "ui/helpers/Fun_PlainLabel.h"
#include "ui/helpers/Fun_SelText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

namespace {

constexpr int kWidth = 530;
constexpr int kHeight = 282;
constexpr int kTitleBand = 24;
const QColor kFrameColour(222, 219, 222);

// The places of the arrival window, in code order from FormPositionCode::First.
const std::array<const char16_t*, FormPositionCode::Last - FormPositionCode::First + 1> kPositions
    = { u"中央", u"右下", u"右上", u"左下", u"左上" };

void PaintFrameColour(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, kFrameColour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QGroupBox* MakeFrame(QWidget* parent, const QString& caption, const QRect& place)
{
    auto* frame = new QGroupBox(caption, parent);
    frame->setGeometry(place);
    PaintFrameColour(frame);
    return frame;
}

QCheckBox* MakeCheck(QWidget* parent, const QString& caption, const QRect& place)
{
    auto* check = new QCheckBox(caption, parent);
    check->setGeometry(place);
    // The frame's colour, shown through rather than painted: a filled box
    // would lay a panel of its own width over the frame's face and border.
    QPalette palette = check->palette();
    palette.setColor(QPalette::Window, kFrameColour);
    check->setPalette(palette);
    return check;
}

QLineEdit* MakeNumberBox(QWidget* parent, const QRect& place)
{
    auto* box = new QLineEdit(parent);
    box->setGeometry(place);
    box->setAlignment(Qt::AlignRight);
    return box;
}

QComboBox* MakeList(QWidget* parent, const QRect& place)
{
    auto* list = new QComboBox(parent);
    list->setEditable(false);
    list->setGeometry(place);
    return list;
}

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& place)
{
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(place);
    // Enter in a text box must not press a button that nobody focused.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

frmOption::frmOption(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_chrome(new BorderlessChrome(*this, BorderlessChrome::Drag::ByBackground))
{
    setWindowTitle(AppIdentity::AppTitle());
    setFont(FaceFonts::Gothic(9));

    lblTitle = new QLabel(this);
    lblTitle->setTextFormat(Qt::PlainText);
    lblTitle->setGeometry(28, 4, 300, 16);
    lblTitle->setFont(FaceFonts::Gothic(9, true));
    QPalette titlePalette = lblTitle->palette();
    titlePalette.setColor(QPalette::WindowText, Qt::white);
    lblTitle->setPalette(titlePalette);

    for (int i = 0; i < 2; ++i) {
        lblClose[size_t(i)] = new QLabel(this);
        lblClose[size_t(i)]->setFrameShape(QFrame::Box);
        lblClose[size_t(i)]->setCursor(Qt::PointingHandCursor);
        m_chrome->AddCloseSpot(*lblClose[size_t(i)], i);
    }
    lblClose[0]->setGeometry(kWidth - 22, 4, 17, 17);
    lblClose[1]->setGeometry(5, 4, 17, 17);

    // Left column: virus, spam and POP; right column: general operation.
    // The virus frame, which has no function, gives up a little height; the
    // spam frame takes a third line for its button and what deletion keeps,
    // and the POP frame below it, holding the keyring's check box, ends
    // level with the general frame.
    fraOption[0] = MakeFrame(this, QStringLiteral("ウイルスメール対策"), { 8, 30, 254, 52 });
    fraOption[1] = MakeFrame(this, QStringLiteral("スパムメール対策"), { 8, 85, 254, 74 });
    fraOption[2] = MakeFrame(this, QStringLiteral("ＰＯＰ設定"), { 8, 162, 254, 82 });
    fraOption[3] = MakeFrame(this, QStringLiteral("操作全般"), { 268, 30, 254, 214 });

    // Every line of a frame starts below its title.
    chkVirusCheck = MakeCheck(fraOption[0], QStringLiteral("ウイルス検出を行う(&V)"), { 12, 16, 236, 17 });
    chkVirusDelete
        = MakeCheck(fraOption[0], QStringLiteral("ウイルスメールを削除する(&I)"), { 12, 33, 236, 17 });
    // The spam boxes end where their captions do, leaving the frame's right
    // side to the lists' button, of the height of the dialog's other buttons.
    chkSpamCheck = MakeCheck(fraOption[1], QStringLiteral("スパム検出を行う(&S)"), { 12, 19, 136, 18 });
    btnSpamLists = MakeButton(fraOption[1], QStringLiteral("判定リスト(&L)..."), { 150, 16, 96, 24 });
    chkDeleteSpam
        = MakeCheck(fraOption[1], QStringLiteral("スパムメールを削除する(&P)"), { 12, 40, 168, 18 });
    // An IMAP check never changes the server, so deletion is POP3's alone.
    lblSpamNote
        = Fun_PlainLabel::MakePlainLabel(fraOption[1], QStringLiteral("POP3のみ"), { 184, 41, 62, 16 });
    lblSpamNote->setToolTip(QStringLiteral("IMAPのアカウントではサーバーのメールを変えません。"));
    // Said where it is seen before ticking: nothing is deleted without a copy.
    lblSpamCopy = Fun_PlainLabel::MakePlainLabel(
        fraOption[1], QStringLiteral("（削除の前に控えを保存します）"), { 30, 58, 216, 14 });
    for (QCheckBox* inert : { chkVirusCheck, chkVirusDelete })
        inert->setEnabled(false);

    lblGuide[0] = Fun_PlainLabel::MakePlainLabel(
        fraOption[2], QStringLiteral("POPタイムアウト(秒)(&T)"), { 12, 20, 156, 18 });
    txtPopTimeOut = MakeNumberBox(fraOption[2], { 172, 18, 70, 20 });
    chkRecheckMailChecked
        = MakeCheck(fraOption[2], QStringLiteral("確認済みメールを再度確認する(&R)"), { 12, 40, 236, 18 });
    chkPasswordInKeyring = MakeCheck(
        fraOption[2], QStringLiteral("パスワードをキーリングに保存する(&K)"), { 12, 60, 236, 18 });

    QGroupBox* general = fraOption[3];
    lblGuide[1] = Fun_PlainLabel::MakePlainLabel(
        general, QStringLiteral("到着確認表示時間(秒)(&A)"), { 10, 20, 160, 18 });
    txtShowArrivalFormTime = MakeNumberBox(general, { 172, 18, 70, 20 });
    lblGuide[5] = Fun_PlainLabel::MakePlainLabel(
        general, QStringLiteral("（表示継続する場合は０秒を設定）"), { 10, 40, 236, 16 });
    lblGuide[2] = Fun_PlainLabel::MakePlainLabel(
        general, QStringLiteral("到着確認表示位置(&P)"), { 10, 63, 130, 18 });
    cboArrivalFormPosition = MakeList(general, { 142, 61, 100, 21 });
    lblGuide[3]
        = Fun_PlainLabel::MakePlainLabel(general, QStringLiteral("到着確認音(&O)"), { 10, 88, 130, 18 });
    cboArrivalSound = MakeList(general, { 142, 86, 100, 21 });
    lblGuide[4]
        = Fun_PlainLabel::MakePlainLabel(general, QStringLiteral("到着確認音追加"), { 10, 113, 130, 18 });
    btnAddSound = MakeButton(general, QStringLiteral("追加(&N)"), { 172, 110, 70, 23 });
    chkStartMinimizedWindow
        = MakeCheck(general, QStringLiteral("最小化状態で起動する(&Z)"), { 10, 142, 236, 18 });
    chkFormCloseIsMinimized
        = MakeCheck(general, QStringLiteral("閉じるボタンを最小化ボタンとする(&M)"), { 10, 164, 236, 18 });
    // The general frame and the dialog grew by one line for it.
    chkQuietWhenBusy
        = MakeCheck(general, QStringLiteral("取り込み中は到着通知を控える(&Q)"), { 10, 186, 236, 18 });

    lblGuide[0]->setBuddy(txtPopTimeOut);
    lblGuide[1]->setBuddy(txtShowArrivalFormTime);
    lblGuide[2]->setBuddy(cboArrivalFormPosition);
    lblGuide[3]->setBuddy(cboArrivalSound);

    // Beside the buttons, where no frame reaches.
    lblGuide[6]
        = Fun_PlainLabel::MakePlainLabel(this, QStringLiteral("新着メールを開く(&W)"), { 10, 254, 124, 18 });
    txtOpenMailWith = new QLineEdit(this);
    txtOpenMailWith->setGeometry(136, 252, 200, 21);
    txtOpenMailWith->setPlaceholderText(QStringLiteral("例: https://mail.example.jp/"));
    txtOpenMailWith->setToolTip(
        QStringLiteral("メールを開くプログラム (コマンド) か、ウェブメールのアドレス。\n"
                       "空欄ならデスクトップの既定のメールプログラムを開きます。"));
    lblGuide[6]->setBuddy(txtOpenMailWith);

    btnAction[0] = MakeButton(this, QStringLiteral("設定(&S)"), { kWidth - 184, 251, 84, 24 });
    btnAction[1] = MakeButton(this, QStringLiteral("キャンセル(&S)"), { kWidth - 94, 251, 84, 24 });

    setTabOrder(txtShowArrivalFormTime, cboArrivalFormPosition);
    setTabOrder(cboArrivalFormPosition, cboArrivalSound);
    setTabOrder(cboArrivalSound, btnAddSound);
    setTabOrder(btnAddSound, chkStartMinimizedWindow);
    setTabOrder(chkStartMinimizedWindow, chkFormCloseIsMinimized);
    // The general frame, where the focus starts, then the left column from
    // the top down, then the line at the bottom from left to right.
    setTabOrder(chkFormCloseIsMinimized, chkQuietWhenBusy);
    setTabOrder(chkQuietWhenBusy, chkSpamCheck);
    setTabOrder(chkSpamCheck, btnSpamLists);
    setTabOrder(btnSpamLists, chkDeleteSpam);
    setTabOrder(chkDeleteSpam, txtPopTimeOut);
    setTabOrder(txtPopTimeOut, chkRecheckMailChecked);
    setTabOrder(chkRecheckMailChecked, chkPasswordInKeyring);
    setTabOrder(chkPasswordInKeyring, txtOpenMailWith);
    setTabOrder(txtOpenMailWith, btnAction[0]);
    setTabOrder(btnAction[0], btnAction[1]);

    // Named as the controls are named in the code, for tests and accessibility tools.
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    for (size_t i = 0; i < lblClose.size(); ++i)
        lblClose[i]->setObjectName(QStringLiteral("lblClose%1").arg(i));
    for (size_t i = 0; i < fraOption.size(); ++i)
        fraOption[i]->setObjectName(QStringLiteral("fraOption%1").arg(i));
    for (size_t i = 0; i < lblGuide.size(); ++i)
        lblGuide[i]->setObjectName(QStringLiteral("lblGuide%1").arg(i));
    for (size_t i = 0; i < btnAction.size(); ++i)
        btnAction[i]->setObjectName(QStringLiteral("btnAction%1").arg(i));
    txtShowArrivalFormTime->setObjectName(QStringLiteral("txtShowArrivalFormTime"));
    cboArrivalFormPosition->setObjectName(QStringLiteral("cboArrivalFormPosition"));
    cboArrivalSound->setObjectName(QStringLiteral("cboArrivalSound"));
    btnAddSound->setObjectName(QStringLiteral("btnAddSound"));
    chkStartMinimizedWindow->setObjectName(QStringLiteral("chkStartMinimizedWindow"));
    chkFormCloseIsMinimized->setObjectName(QStringLiteral("chkFormCloseIsMinimized"));
    chkQuietWhenBusy->setObjectName(QStringLiteral("chkQuietWhenBusy"));
    txtPopTimeOut->setObjectName(QStringLiteral("txtPopTimeOut"));
    chkRecheckMailChecked->setObjectName(QStringLiteral("chkRecheckMailChecked"));
    chkPasswordInKeyring->setObjectName(QStringLiteral("chkPasswordInKeyring"));
    txtOpenMailWith->setObjectName(QStringLiteral("txtOpenMailWith"));
    chkSpamCheck->setObjectName(QStringLiteral("chkSpamCheck"));
    chkDeleteSpam->setObjectName(QStringLiteral("chkDeleteSpam"));
    btnSpamLists->setObjectName(QStringLiteral("btnSpamLists"));
    lblSpamNote->setObjectName(QStringLiteral("lblSpamNote"));
    lblSpamCopy->setObjectName(QStringLiteral("lblSpamCopy"));
    chkVirusCheck->setObjectName(QStringLiteral("chkVirusCheck"));
    chkVirusDelete->setObjectName(QStringLiteral("chkVirusDelete"));

    for (QWidget* watched : { static_cast<QWidget*>(txtPopTimeOut),
             static_cast<QWidget*>(txtShowArrivalFormTime), static_cast<QWidget*>(cboArrivalSound) })
        watched->installEventFilter(this);

    connect(btnAction[0], &QPushButton::clicked, this, [this] { btnAction_Click(0); });
    connect(btnAction[1], &QPushButton::clicked, this, [this] { btnAction_Click(1); });
    connect(btnAddSound, &QPushButton::clicked, this, &frmOption::btnAddSound_Click);
    connect(chkSpamCheck, &QCheckBox::toggled, this, &frmOption::chkSpamCheck_Click);
    connect(btnSpamLists, &QPushButton::clicked, this, &frmOption::btnSpamLists_Click);
    connect(m_chrome, &BorderlessChrome::CloseSpotClicked, this, &frmOption::lblClose_Click);
    connect(m_chrome, &BorderlessChrome::CloseKeyPressed, this, &QDialog::reject);

    Form_Load();
}

void frmOption::Form_Load()
{
    lblTitle->setText(AppIdentity::AppTitle());
    for (QLabel* hotSpot : lblClose)
        hotSpot->setFrameShape(QFrame::NoFrame);

    setFixedSize(kWidth, kHeight);
    Fun_FormPosition::FormPosition(*this, FormPositionCode::Centre);

    txtPopTimeOut->setText(QString::number(CommonSettings.PopTimeOut));
    chkRecheckMailChecked->setChecked(CommonSettings.RecheckMailChecked);
    chkFormCloseIsMinimized->setChecked(CommonSettings.FormClosedIsMinimized);
    chkStartMinimizedWindow->setChecked(CommonSettings.StartMinimizedWindow);
    chkQuietWhenBusy->setChecked(CommonSettings.QuietWhenBusy);
    chkPasswordInKeyring->setChecked(CommonSettings.PasswordInKeyring);
    txtShowArrivalFormTime->setText(QString::number(CommonSettings.ShowArrivalFormTime));
    txtOpenMailWith->setText(CommonSettings.OpenMailWith);
    chkSpamCheck->setChecked(CommonSettings.SpamCheck);
    chkDeleteSpam->setChecked(CommonSettings.SpamCheck && CommonSettings.SpamDelete);
    chkSpamCheck_Click();
    m_spamTags = CommonSettings.SpamTags;
    m_spamSenders = CommonSettings.SpamSenders;

    for (const char16_t* position : kPositions)
        cboArrivalFormPosition->addItem(QString::fromUtf16(position));
    const qint32 code = CommonSettings.ArrivalFormPosition;
    cboArrivalFormPosition->setCurrentIndex(
        FormPositionCode::IsKnown(code) ? code - FormPositionCode::First : -1);

    GetSoundFile(CommonSettings.ArrivalSound);
    txtShowArrivalFormTime->setFocus();
}

void frmOption::GetSoundFile(const QString& strName)
{
    cboArrivalSound->clear();
    const QStringList names = AppFolders::SoundNames(
        Fun_FileOperate::LocalPath(CommonSettings.SoundFolder), AppFolders::ProgramDataFolder());
    const QString wanted = strName.toUpper();
    int selected = -1;
    for (const QString& name : names) {
        cboArrivalSound->addItem(name);
        if (name.toUpper() == wanted)
            selected = cboArrivalSound->count() - 1;
    }
    cboArrivalSound->setCurrentIndex(selected);
}

bool frmOption::IsValidData()
{
    // A number that does not fit the stored 32-bit value counts as invalid too.
    const auto acceptable = [](const QString& text, double least) {
        return NumericText::IsNumeric(text) && NumericText::LeadingValue(text) >= least
            && NumericText::ToInt32Checked(text).has_value();
    };
    QLineEdit* offending = nullptr;
    if (!acceptable(txtPopTimeOut->text(), 1))
        offending = txtPopTimeOut;
    else if (!acceptable(txtShowArrivalFormTime->text(), 0))
        offending = txtShowArrivalFormTime;
    if (!offending)
        return true;
    offending->setFocus();
    MessageBoxService::Current().Show(
        QStringLiteral("データが入力されていないか、不正なデータが入力されています。"),
        MessageBoxService::Icon::Exclamation, MessageBoxService::Buttons::Ok, AppIdentity::AppTitle());
    return false;
}

void frmOption::btnAction_Click(int Index)
{
    if (Index != 0) {
        reject();
        return;
    }
    if (!IsValidData())
        return;
    CommonSettings.FormClosedIsMinimized = chkFormCloseIsMinimized->isChecked();
    CommonSettings.RecheckMailChecked = chkRecheckMailChecked->isChecked();
    CommonSettings.StartMinimizedWindow = chkStartMinimizedWindow->isChecked();
    CommonSettings.QuietWhenBusy = chkQuietWhenBusy->isChecked();
    CommonSettings.PasswordInKeyring = chkPasswordInKeyring->isChecked();
    CommonSettings.ArrivalFormPosition = cboArrivalFormPosition->currentIndex() + FormPositionCode::First;
    CommonSettings.PopTimeOut = NumericText::ToInt32(txtPopTimeOut->text());
    CommonSettings.ShowArrivalFormTime = NumericText::ToInt32(txtShowArrivalFormTime->text());
    CommonSettings.ArrivalSound = cboArrivalSound->currentText();
    // Blanks alone choose nothing, and so are not written either.
    CommonSettings.OpenMailWith = txtOpenMailWith->text().trimmed();
    CommonSettings.SpamCheck = chkSpamCheck->isChecked();
    CommonSettings.SpamDelete = chkSpamCheck->isChecked() && chkDeleteSpam->isChecked();
    CommonSettings.SpamTags = m_spamTags;
    CommonSettings.SpamSenders = m_spamSenders;
    AccountStore::Save();
    accept();
}

void frmOption::btnAddSound_Click()
{
    const QString folder = Fun_FileOperate::LocalPath(CommonSettings.SoundFolder);
    // Make sure there is a folder to copy the sounds into before sending the user there.
    if (!folder.isEmpty() && !Fun_FileOperate::IsFolderExist(folder))
        QDir().mkpath(folder);
    MessageBoxService::Current().Show(QStringLiteral("このフォルダにWAVEファイルをコピーしてください。"),
        MessageBoxService::Icon::Information, MessageBoxService::Buttons::Ok, AppIdentity::AppTitle());
    if (!folder.isEmpty())
        ShellOpenService::Current().OpenFolder(QFileInfo(folder).absoluteFilePath());
}

void frmOption::chkSpamCheck_Click()
{
    // Deletion rests on detection: without it there is nothing to delete,
    // and a tick left behind would come back on by itself with detection.
    const bool detecting = chkSpamCheck->isChecked();
    if (!detecting)
        chkDeleteSpam->setChecked(false);
    chkDeleteSpam->setEnabled(detecting);
    lblSpamNote->setEnabled(detecting);
    lblSpamCopy->setEnabled(detecting);
}

void frmOption::btnSpamLists_Click()
{
    frmSpamLists editor(m_spamTags, m_spamSenders, this);
    if (editor.exec() != QDialog::Accepted)
        return;
    m_spamTags = editor.Tags();
    m_spamSenders = editor.Senders();
}

void frmOption::lblClose_Click(int) { reject(); }

void frmOption::cboArrivalSound_GotFocus() { GetSoundFile(cboArrivalSound->currentText()); }

bool frmOption::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        // The list's own popup hands the focus back before the chosen entry
        // is applied; a refill then would drop the choice.
        const bool fromPopup = static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason;
        if (watched == cboArrivalSound && !fromPopup)
            cboArrivalSound_GotFocus();
        else if ((watched == txtPopTimeOut || watched == txtShowArrivalFormTime)
            && Fun_SelText::IsUserFocusIn(*event))
            Fun_SelText::SelText(static_cast<QWidget*>(watched));
    }
    return QDialog::eventFilter(watched, event);
}

void frmOption::keyPressEvent(QKeyEvent* event)
{
    // Escape and Enter, which a dialog would otherwise take to cancel or
    // confirm, do nothing here: only Alt+F4 and the hot spots close it.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmOption::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient face(0, 0, 0, height());
    face.setColorAt(0, QColor(246, 244, 248));
    face.setColorAt(1, QColor(196, 190, 206));
    painter.fillRect(rect(), face);

    QLinearGradient band(0, 0, 0, kTitleBand);
    band.setColorAt(0, QColor(104, 96, 160));
    band.setColorAt(1, QColor(60, 52, 112));
    painter.fillRect(QRect(0, 0, width(), kTitleBand), band);

    // The close marks under the two hot spots.
    for (const QLabel* hotSpot : lblClose) {
        const QRectF box = QRectF(hotSpot->geometry()).adjusted(1.5, 1.5, -1.5, -1.5);
        painter.setPen(QPen(QColor(230, 226, 244), 1));
        painter.setBrush(QColor(150, 60, 80));
        painter.drawRoundedRect(box, 3, 3);
        painter.setPen(QPen(Qt::white, 1.6));
        const QRectF cross = box.adjusted(4, 4, -4, -4);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
    }

    painter.setPen(QColor(60, 52, 112));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
