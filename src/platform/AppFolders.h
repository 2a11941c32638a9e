#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Where the program's files live. The settings file stays beside the
// executable wherever that folder is the user's (a build folder, a folder of
// its own, a USB stick); an executable in a system folder keeps it in the
// user's configuration folder instead. What belongs with the settings (the
// spam copies, the sounds the user adds) follows it. Sounds that come with the
// program are read from its data folder and never written.
namespace AppFolders {

// The folder of the settings file named `fileName`: the executable's folder
// when it already holds that file or the user may write there, else
// "tandrel" in $XDG_CONFIG_HOME (~/.config when unset or not absolute).
QString SettingsFolder(const QString& executableFolder, const QString& fileName, bool userMayWrite,
    const QProcessEnvironment& environment);

// The same, asking the file system whether the user may write there.
QString SettingsFolder(
    const QString& executableFolder, const QString& fileName, const QProcessEnvironment& environment);

// True when this process may create files in `folder`, judged as the kernel
// will judge the write: effective user, file-system user, read-only mounts.
bool UserMayWrite(const QString& folder);

// The running program's settings folder, decided once per run so that the
// settings and the spam copies never part.
QString ProgramSettingsFolder();

// Makes the running program's settings folder, owner-only, where it is the
// configuration folder and does not exist yet.
void MakeProgramSettingsFolder();

// The files that come with the program: "share/tandrel" beside the executable
// (a build folder, a folder of its own) or, for an executable in a "bin"
// folder, in that folder's tree (/usr/bin gives /usr/share/tandrel). Empty
// when neither exists.
QString DataFolder(const QString& executableFolder);
QString ProgramDataFolder();

// The WAV files offered as arrival sounds: the user's and the program's, in
// name order, a name once; the user's copy of a name wins.
QStringList SoundNames(const QString& userFolder, const QString& dataFolder);

// The file to play for a sound name, the user's folder first; empty when
// neither folder holds such a file.
QString FindSound(const QString& name, const QString& userFolder, const QString& dataFolder);

} // namespace AppFolders
