#pragma once

#include <QByteArrayView>
#include <QString>

// Files that must be on the disk, not only in its cache, before the program
// goes on: settings, and copies of mail about to be deleted on a server.
namespace DurableFile {

// Writes all bytes to an open file descriptor; 0, or the system's error code.
int WriteAll(int fd, QByteArrayView bytes);

// Makes a new or renamed entry of the folder holding `path` durable too.
void SyncFolder(const QString& path);

// Creates `path`, which must not exist, with these bytes, flushed to the
// disk. False when anything fails; nothing is left behind then.
bool CreateNew(const QString& path, QByteArrayView bytes);

// Gives a file a new name in the same file system, never over another
// file, and makes that durable. False when it could not be done.
bool Rename(const QString& from, const QString& to);

} // namespace DurableFile
