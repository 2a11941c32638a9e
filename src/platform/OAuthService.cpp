#include "platform/OAuthService.h"

#include "platform/InstalledService.h"

#include <QTimer>

namespace {

class NoOAuthService final : public OAuthService {
public:
    void SignIn(const OAuthClient&, const QString&, Done done) override { fail(std::move(done)); }
    void CancelSignIn() override { }
    void Refresh(const OAuthClient&, const QString&, int, Done done) override { fail(std::move(done)); }

private:
    static void fail(Done done)
    {
        QTimer::singleShot(0, [done = std::move(done)] {
            done(Result::Failed, {}, QStringLiteral("No OAuth2 service available"));
        });
    }
};

} // namespace

OAuthService& OAuthService::Current() { return InstalledService<OAuthService>::Current<NoOAuthService>(); }

void OAuthService::Install(OAuthService* service) { InstalledService<OAuthService>::Install(service); }
