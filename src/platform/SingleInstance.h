#pragma once

#include <QString>

#include <memory>

class QLockFile;

// Holds the program's single-instance lock for as long as it lives.
class SingleInstance {
public:
    // `key` names the program, normally its executable path.
    explicit SingleInstance(const QString& key);
    ~SingleInstance();

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process holds the lock, false when another instance does.
    bool IsFirst() const;

    // Where the lock for `key` lives.
    static QString LockPath(const QString& key);

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_first = false;
};
