#pragma once

#include "app/NewMailItem.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The local mailbox that keeps spam before it is deleted on the server: a
// Maildir (tmp, new, cur), which any mail program reads. Each copy is the
// message as the server gave it, with the line ends of local files. Its file
// name holds when it was kept, which account and message it came from, and
// whether the server has deleted the message ("deleted") or still holds it
// ("onserver"), so the folder alone is the list the user sees.
class SpamMaildir {
public:
    // A copy old enough is removed, and the oldest go while all of them
    // take more room than this.
    static constexpr qint64 KeepDays = 90;
    static constexpr qint64 KeepBytes = 100LL * 1024 * 1024;

    explicit SpamMaildir(QString folder);

    // The folder beside the settings file.
    static QString BesideSettings();
    const QString& Folder() const { return m_folder; }

    // Keeps the message on the disk; its file name, or empty when it could
    // not be written whole. A message of the same account and identifier
    // kept before is not written again.
    QString Keep(const QString& account, const QString& identifier, QByteArrayView message);

    // The server has deleted these messages.
    void MarkDeleted(const QStringList& names);

    struct Copy {
        QString name;
        QDateTime kept;
        NewMailItem fields;
        bool deletedOnServer = false;
    };

    // Every copy, newest first.
    QList<Copy> Copies() const;

    // Removes the copies beyond the bounds above.
    void Prune(const QDateTime& now);

private:
    // The path of the copy that holds this key, or empty.
    QString find(const QString& key) const;

    QString m_folder;
};
