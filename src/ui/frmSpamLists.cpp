#include "ui/frmSpamLists.h"

#include "app/AppIdentity.h"
#include "mail/SpamVerdict.h"
#include "ui/FaceFonts.h"
#include "ui/helpers/Fun_PlainLabel.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

QPlainTextEdit* MakeListBox(QWidget* parent, const QRect& place)
{
    auto* box = new QPlainTextEdit(parent);
    box->setGeometry(place);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Tab moves on to the next control; a tag or an address never holds one.
    box->setTabChangesFocus(true);
    return box;
}

// The entries of a box: one a line, blanks around them and empty lines dropped.
QStringList Entries(const QPlainTextEdit& box)
{
    QStringList entries;
    for (const QString& line : box.toPlainText().split(u'\n')) {
        if (const QString entry = line.trimmed(); !entry.isEmpty())
            entries.append(entry);
    }
    return entries;
}

} // namespace

frmSpamLists::frmSpamLists(
    const std::optional<QStringList>& tags, const std::optional<QStringList>& senders, QWidget* parent)
    // A fixed size: no maximise button to offer what cannot be done.
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_tags(tags)
    , m_senders(senders)
{
    setWindowTitle(AppIdentity::AppTitle() + QStringLiteral(" - スパム判定リスト"));
    setFont(FaceFonts::Gothic(9));
    setFixedSize(360, 332);

    lblGuide[0] = Fun_PlainLabel::MakePlainLabel(
        this, QStringLiteral("件名の先頭につく印（１行に１つ）(&T)"), { 8, 8, 344, 16 });
    txtTags = MakeListBox(this, { 8, 26, 344, 110 });
    lblGuide[1] = Fun_PlainLabel::MakePlainLabel(
        this, QStringLiteral("差出人のアドレスまたはドメイン（１行に１つ）(&F)"), { 8, 144, 344, 16 });
    txtSenders = MakeListBox(this, { 8, 162, 344, 110 });
    lblGuide[0]->setBuddy(txtTags);
    lblGuide[1]->setBuddy(txtSenders);
    txtTags->setPlainText(tags.value_or(SpamVerdict::DefaultTags()).join(u'\n'));
    txtSenders->setPlainText(senders.value_or(QStringList()).join(u'\n'));

    // The options dialog holds the lists until its own apply; a cancel there
    // drops them, and the user is told so before leaving here.
    lblNote = Fun_PlainLabel::MakePlainLabel(
        this, QStringLiteral("オプションの「設定」を押すと保存されます。"), { 8, 278, 344, 16 });
    btnDefault = new QPushButton(QStringLiteral("既定に戻す(&D)"), this);
    btnDefault->setGeometry(8, 300, 110, 24);
    btnDefault->setAutoDefault(false);
    connect(btnDefault, &QPushButton::clicked, this, &frmSpamLists::btnDefault_Click);
    const std::array<const char16_t*, 2> captions { u"OK(&O)", u"キャンセル(&C)" };
    for (int i = 0; i < 2; ++i) {
        btnAction[size_t(i)] = new QPushButton(QString::fromUtf16(captions[size_t(i)]), this);
        btnAction[size_t(i)]->setGeometry(184 + 86 * i, 300, 82, 24);
        // Enter in a list box starts a new line; only a press of the button applies.
        btnAction[size_t(i)]->setAutoDefault(false);
        connect(btnAction[size_t(i)], &QPushButton::clicked, this, [this, i] { btnAction_Click(i); });
    }

    lblGuide[0]->setObjectName(QStringLiteral("lblGuide0"));
    lblGuide[1]->setObjectName(QStringLiteral("lblGuide1"));
    lblNote->setObjectName(QStringLiteral("lblNote"));
    txtTags->setObjectName(QStringLiteral("txtTags"));
    txtSenders->setObjectName(QStringLiteral("txtSenders"));
    btnDefault->setObjectName(QStringLiteral("btnDefault"));
    btnAction[0]->setObjectName(QStringLiteral("btnAction0"));
    btnAction[1]->setObjectName(QStringLiteral("btnAction1"));
}

void frmSpamLists::btnAction_Click(int Index)
{
    if (Index != 0) {
        reject();
        return;
    }
    const QStringList tags = Entries(*txtTags);
    const QStringList senders = Entries(*txtSenders);
    m_tags = tags == SpamVerdict::DefaultTags() ? std::nullopt : std::optional(tags);
    m_senders = senders.isEmpty() ? std::nullopt : std::optional(senders);
    accept();
}

void frmSpamLists::btnDefault_Click()
{
    txtTags->setPlainText(SpamVerdict::DefaultTags().join(u'\n'));
    txtSenders->clear();
}
