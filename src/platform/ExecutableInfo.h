#pragma once

#include <QString>

// Where the running program lives and what it is called.
namespace ExecutableInfo {

// Folder of the executable, without a trailing separator.
QString Folder();

// File name of the executable without its extension.
QString BaseName();

// The program's version, "major.minor.patch".
QString Version();

} // namespace ExecutableInfo
