#pragma once

#include <QString>

namespace Fun_FileOperate {

// The path as this system spells it. Paths from a settings file written on
// Windows, and the default sound folder, use backslashes as separators; where
// "/" is the separator, a backslash is taken as one too.
QString LocalPath(const QString& path);

// True for an existing path that is not a folder. These tests read paths as LocalPath does.
bool IsFileExist(const QString& path);

// True for an existing folder.
bool IsFolderExist(const QString& path);

// Deletes the files the path names; the file name may hold the wildcards * and ?.
// Missing files, folders and files that cannot be deleted are passed over silently.
void KillFile(const QString& path);

} // namespace Fun_FileOperate
