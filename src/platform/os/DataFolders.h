#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its files and finds the ones it was installed with.
//
// Its own folder, the start-up folder, holds the event log, the last run's settings,
// the camera settings, the system folder and the registry. It is the user's data folder
// for the program, $XDG_DATA_HOME/video-kelvanor (~/.local/share/video-kelvanor), whatever
// folder the program is started in; `--folder DIR` or the environment variable
// KELVANOR_FOLDER choose another (tests, a program carried on a stick).
//
// The installed data (codec.kl) is looked up in the start-up folder first, then in
// $XDG_DATA_DIRS/video-kelvanor (/usr/local/share and /usr/share when unset), then in
// the data folder of the installation the program runs from (<prefix>/share/video-kelvanor
// beside <prefix>/bin), so a program installed under any prefix finds what it shipped.
namespace DataFolders {

// The name of the program's folder in every data folder.
inline constexpr const char* kFolderName = "video-kelvanor";
// The environment variable that chooses the start-up folder.
inline constexpr const char* kFolderVariable = "KELVANOR_FOLDER";

// $XDG_DATA_HOME/video-kelvanor, without a trailing "/".
QString userFolder();

// The start-up folder: `requested` when not empty, else $KELVANOR_FOLDER when set and
// not empty, else userFolder(). A relative name means the working directory's; the
// answer is absolute and clean, and not created here.
QString chooseStartupFolder(const QString& requested = {});

// The installed program's data folders, in the order searched (existing ones only).
QStringList installedFolders();

// The first of `startupFolder`/`name` and the installed folders' `name` that exists as
// a file; empty when none does.
QString find(const QString& startupFolder, const QString& name);

} // namespace DataFolders
