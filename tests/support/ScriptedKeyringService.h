#pragma once

#include "platform/KeyringService.h"

#include <QMap>
#include <QTimer>

// A keyring in memory that answers later, from the event loop, as a real one
// does. Installs itself for its lifetime; a test that wants no keyring at all
// installs none over it.
class ScriptedKeyringService final : public KeyringService {
public:
    ScriptedKeyringService() { Install(this); }
    ~ScriptedKeyringService() override { Install(nullptr); }

    QMap<QString, QString> entries;
    int pending = 0; // calls not answered yet

    void Read(const QString& key, Done done) override
    {
        later(
            std::move(done), [=, this] { return entries.contains(key) ? Result::Ok : Result::NotFound; },
            key);
    }
    void Write(const QString& key, const QString& password, Done done) override
    {
        later(std::move(done), [=, this] {
            entries.insert(key, password);
            return Result::Ok;
        });
    }
    void Remove(const QString& key, Done done) override
    {
        later(std::move(done), [=, this] { return entries.remove(key) ? Result::Ok : Result::NotFound; });
    }

private:
    template <typename Act> void later(Done done, Act act, const QString& readKey = {})
    {
        ++pending;
        QTimer::singleShot(0, [=, this] {
            --pending;
            const Result result = act();
            done(result, entries.value(readKey));
        });
    }
};
