#pragma once

#include "platform/OAuthService.h"

#include <memory>

class QOAuth2AuthorizationCodeFlow;

// The browser sign-in and token renewal of Qt NetworkAuth: the authorization
// code flow with its reply handler on a loopback port, and PKCE added through
// the flow's parameter hook, since Qt builds it in only from 6.8.
class QtOAuthService final : public OAuthService {
public:
    QtOAuthService();
    ~QtOAuthService() override;

    void SignIn(const OAuthClient& client, const QString& loginHint, Done done) override;
    void CancelSignIn() override;
    void Refresh(const OAuthClient& client, const QString& refreshToken, int timeOutMs, Done done) override;

private:
    std::unique_ptr<QOAuth2AuthorizationCodeFlow> m_signIn;
};
