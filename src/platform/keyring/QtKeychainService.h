#pragma once

#include "platform/KeyringService.h"

// The desktop keyring through QtKeychain: the Secret Service (GNOME Keyring,
// KWallet) on Linux, the system's own store elsewhere. Asynchronous jobs only.
class QtKeychainService final : public KeyringService {
public:
    void Read(const QString& key, Done done) override;
    void Write(const QString& key, const QString& password, Done done) override;
    void Remove(const QString& key, Done done) override;
};
