#pragma once

#include "Master.h"

#include <QString>
#include <functional>

// The main window's menu and toolbar commands: what each item, button and list does.
namespace Commands {

// Connects the form's menus, toolbars and command controls to their commands.
void connectAll(Master& m);

// Opens the movie at the path in a new movie viewer; "Open Capture File..." calls it
// for ".avi" files. Does nothing until the viewer is plugged in.
inline std::function<void(Master&, const QString& path)> OpenMovieInViewer;

void FileMenu_Click(Master& m, int index);
void EditMenu_Click(Master& m, int index);
void ViewMenu_Click(Master& m, int index);
void VideoMenu_Click(Master& m, int index);
void AudioMenu_Click(Master& m, int index);
void SampleRateMenu_Click(Master& m, int index);
void HelpMenu_Click(Master& m, int index);

} // namespace Commands
