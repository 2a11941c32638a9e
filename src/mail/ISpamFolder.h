#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Where a check keeps the spam of one account before it has the server
// delete it, as the check sees it.
class ISpamFolder {
public:
    virtual ~ISpamFolder() = default;

    // Writes this message (lines ended by LF, as local files have them) as a
    // copy of its own, on the disk before this returns: the copy's name, or
    // empty when it could not be written whole. A copy kept before is never
    // taken for it, whatever it holds.
    virtual QString Keep(const QString& identifier, QByteArray message) = 0;
    // The server has deleted the messages of these copies.
    virtual void MarkDeleted(const QStringList& names) = 0;
};
