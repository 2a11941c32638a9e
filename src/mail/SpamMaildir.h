#pragma once

#include "app/NewMailItem.h"
#include "mail/ISpamFolder.h"

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
class SpamMaildir : public ISpamFolder {
public:
    // A copy old enough is removed, and the oldest go while all of them
    // take more room than this.
    static constexpr qint64 KeepDays = 90;
    static constexpr qint64 KeepBytes = 100LL * 1024 * 1024;

    // Copies kept go under the name of `mailbox` (the account they came from).
    explicit SpamMaildir(QString folder, QString mailbox = {});

    // The folder beside the settings file.
    static QString BesideSettings();
    const QString& Folder() const { return m_folder; }

    // Every message is written afresh, even where a copy of the same account
    // and identifier exists: two messages may share an identifier, and only
    // the bytes just fetched are sure to be the message about to be deleted.
    QString Keep(const QString& identifier, QByteArray message) override;
    void MarkDeleted(const QStringList& names) override;

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
    // The path of the copy of this name, wherever a mail program moved it, or empty.
    QString find(const QString& name) const;

    QString m_folder;
    QString m_mailbox;
};
