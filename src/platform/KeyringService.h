#pragma once

#include <QString>

#include <functional>

// The desktop keyring, where passwords can live instead of the settings file.
// Every call answers later, from the event loop, never before it returns: a
// keyring may be slow or wait for the user to unlock it, and the window must
// go on meanwhile. The program answers with the desktop's Secret Service;
// tests of the core answer from a script.
class KeyringService {
public:
    enum class Result { Ok, NotFound, Failed };
    // `text` is the password read (Read, Ok) or why the keyring failed (Failed).
    using Done = std::function<void(Result result, const QString& text)>;

    virtual ~KeyringService() = default;

    // Entries live under this program's own service name, one per key.
    virtual void Read(const QString& key, Done done) = 0;
    virtual void Write(const QString& key, const QString& password, Done done) = 0;
    virtual void Remove(const QString& key, Done done) = 0;

    // The service in use; without one installed there is no keyring, and
    // every call fails (later, as a real keyring's would).
    static KeyringService& Current();
    static void Install(KeyringService* service);
};
