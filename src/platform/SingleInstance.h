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

    // Where the lock for `key` lives: in the user's own folder, so that
    // another user's instance never counts as a running one.
    static QString LockPath(const QString& key);

    // The session's runtime folder, else a private folder of the user's own in
    // the temporary folder, else one in the user's cache folder.
    static QString LockFolder();

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_first = false;
};
