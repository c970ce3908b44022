#pragma once

#include "Master.h"

// The main window's menu and toolbar commands: what each item, button and list does.
namespace Commands {

// Connects the form's menus, toolbars and command controls to their commands.
void connectAll(Master& m);

void FileMenu_Click(Master& m, int index);
void EditMenu_Click(Master& m, int index);
void ViewMenu_Click(Master& m, int index);
void VideoMenu_Click(Master& m, int index);
void AudioMenu_Click(Master& m, int index);
void SampleRateMenu_Click(Master& m, int index);
void HelpMenu_Click(Master& m, int index);

} // namespace Commands
