#pragma once

#include <QString>

namespace Fun_FileOperate {

// True for an existing path that is not a folder.
bool IsFileExist(const QString& path);

// True for an existing folder.
bool IsFolderExist(const QString& path);

// Deletes the files the path names; the file name may hold the wildcards * and ?.
// Missing files, folders and files that cannot be deleted are passed over silently.
void KillFile(const QString& path);

}  // namespace Fun_FileOperate
