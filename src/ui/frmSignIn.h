#pragma once

#include "app/AccountEntry.h"

#include <QDialog>

#include <array>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace OAuthProviders {
struct Provider;
}

// The OAuth2 sign-in: the provider, then the mail address. OK fills the main
// window's editor through `Fill`, opens the browser and waits for it; the
// dialog is accepted once the keyring holds the account's refresh token.
// Cancelling gives up the sign-in, whatever the browser does later.
class frmSignIn : public QDialog {
    Q_OBJECT

public:
    using Fill = std::function<void(const OAuthProviders::Provider& provider, const QString& address)>;
    // The protocol picks the provider's server and the scope asked for.
    frmSignIn(const QString& address, MailProtocol protocol, Fill fill, QWidget* parent = nullptr);
    ~frmSignIn() override;

    const OAuthProviders::Provider& Provider() const;

    std::array<QLabel*, 2> lblGuide;
    QComboBox* cboProvider;
    QLineEdit* txtMailAddress;
    QLabel* lblMessage; // what is missing, what the browser is waiting for, why it failed
    std::array<QPushButton*, 2> btnAction; // 0 OK, 1 cancel

public Q_SLOTS:
    void reject() override;

private:
    void btnAction_Click(int Index);
    void SetWaiting(bool waiting);

    Fill m_fill;
    MailProtocol m_protocol;
};
