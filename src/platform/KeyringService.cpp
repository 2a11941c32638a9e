#include "platform/KeyringService.h"

#include "platform/InstalledService.h"

#include <QTimer>

namespace {

class NoKeyringService final : public KeyringService {
public:
    void Read(const QString&, Done done) override { fail(std::move(done)); }
    void Write(const QString&, const QString&, Done done) override { fail(std::move(done)); }
    void Remove(const QString&, Done done) override { fail(std::move(done)); }

private:
    static void fail(Done done)
    {
        QTimer::singleShot(0, [done = std::move(done)] {
            done(Result::Failed, QStringLiteral("No keyring service available"));
        });
    }
};

} // namespace

KeyringService& KeyringService::Current()
{
    return InstalledService<KeyringService>::Current<NoKeyringService>();
}

void KeyringService::Install(KeyringService* service) { InstalledService<KeyringService>::Install(service); }
