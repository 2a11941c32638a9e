#include "ui/frmSignIn.h"

#include "accounts/OAuthProviders.h"
#include "accounts/OAuthTokens.h"
#include "app/AppIdentity.h"
#include "ui/FaceFonts.h"
#include "ui/helpers/Fun_PlainLabel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace {

// The build's variable that carries a built-in client's ID, for the message
// about a missing one; the custom provider has none.
QString BuildVariable(const OAuthProviders::Provider& provider)
{
    if (provider.authorizeUrl[0] == u'\0')
        return {};
    return QStringLiteral("TANDREL_") + QString::fromUtf16(provider.name).toUpper()
        + QStringLiteral("_CLIENT_ID");
}

} // namespace

frmSignIn::frmSignIn(const QString& address, MailProtocol protocol, Fill fill, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , m_fill(std::move(fill))
    , m_protocol(protocol)
{
    setWindowTitle(AppIdentity::AppTitle() + QStringLiteral(" - OAuth2 サインイン"));
    setFont(FaceFonts::Gothic(9));
    setFixedSize(400, 150);

    lblGuide[0]
        = Fun_PlainLabel::MakePlainLabel(this, QStringLiteral("プロバイダー(&P)"), { 8, 12, 100, 16 });
    cboProvider = new QComboBox(this);
    cboProvider->setGeometry(110, 9, 282, 20);
    for (const auto& provider : OAuthProviders::All())
        cboProvider->addItem(QString::fromUtf16(provider.caption));
    lblGuide[1]
        = Fun_PlainLabel::MakePlainLabel(this, QStringLiteral("メールアドレス(&M)"), { 8, 38, 100, 16 });
    txtMailAddress = new QLineEdit(address, this);
    txtMailAddress->setGeometry(110, 36, 282, 18);
    lblGuide[0]->setBuddy(cboProvider);
    lblGuide[1]->setBuddy(txtMailAddress);
    lblMessage = Fun_PlainLabel::MakePlainLabel(this, QString(), { 8, 62, 384, 50 });
    lblMessage->setWordWrap(true);

    const std::array<const char16_t*, 2> captions { u"OK", u"キャンセル" };
    for (int i = 0; i < 2; ++i) {
        btnAction[size_t(i)] = new QPushButton(QString::fromUtf16(captions[size_t(i)]), this);
        btnAction[size_t(i)]->setObjectName(QStringLiteral("btnAction%1").arg(i));
        btnAction[size_t(i)]->setGeometry(224 + 86 * i, 118, 82, 24);
        connect(btnAction[size_t(i)], &QPushButton::clicked, this, [this, i] { btnAction_Click(i); });
    }
    btnAction[0]->setDefault(true);
}

frmSignIn::~frmSignIn() { OAuthTokens::CancelSignIn(); }

const OAuthProviders::Provider& frmSignIn::Provider() const
{
    return OAuthProviders::All()[size_t(qMax(0, cboProvider->currentIndex()))];
}

void frmSignIn::reject()
{
    // A redirect that arrives after this finds the loopback port closed.
    OAuthTokens::CancelSignIn();
    QDialog::reject();
}

void frmSignIn::btnAction_Click(int Index)
{
    if (Index != 0) {
        reject();
        return;
    }
    const QString address = txtMailAddress->text().trimmed();
    if (address.isEmpty()) {
        lblMessage->setText(QStringLiteral("メールアドレスを入力してください。"));
        txtMailAddress->setFocus();
        return;
    }
    const OAuthProviders::Provider& provider = Provider();
    if (const QStringList missing = OAuthProviders::Missing(provider, m_protocol); !missing.isEmpty()) {
        QString text
            = QStringLiteral("サインインに必要な値がありません。設定ファイルの [Common] に書いてください: ")
            + missing.join(u", ");
        if (const QString variable = BuildVariable(provider); !variable.isEmpty())
            text += QStringLiteral("（クライアントIDはビルド時の %1 でも指定できます）").arg(variable);
        lblMessage->setText(text);
        return;
    }

    m_fill(provider, address);
    SetWaiting(true);
    OAuthTokens::SignIn(
        provider, m_protocol, address, [dialog = QPointer(this)](bool signedIn, const QString& why) {
            if (!dialog)
                return;
            if (signedIn) {
                dialog->accept();
                return;
            }
            dialog->SetWaiting(false);
            dialog->lblMessage->setText(QStringLiteral("サインインできませんでした: ") + why);
        });
}

void frmSignIn::SetWaiting(bool waiting)
{
    btnAction[0]->setEnabled(!waiting);
    cboProvider->setEnabled(!waiting);
    txtMailAddress->setEnabled(!waiting);
    lblMessage->setText(
        waiting ? QStringLiteral("ブラウザでサインインしてください。終わるまでお待ちください。") : QString());
}
