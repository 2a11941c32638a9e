#pragma once

#include "platform/KeyringService.h"

#include <QMap>
#include <QTimer>

// A keyring in memory that answers later, from the event loop, as a real one
// does; or one that refuses everything, as a keyring that stays locked.
// Installs itself for its lifetime.
class ScriptedKeyringService final : public KeyringService {
public:
    ScriptedKeyringService() { Install(this); }
    ~ScriptedKeyringService() override { Install(nullptr); }

    QMap<QString, QString> entries;
    bool refusing = false;
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
            if (refusing)
                return done(Result::Failed, QStringLiteral("The keyring is locked"));
            const Result result = act();
            done(result, entries.value(readKey));
        });
    }
};
