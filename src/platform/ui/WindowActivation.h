#pragma once

class QWidget;

// Which of the program's own windows was activated last. A window's activation
// handling asks it to tell a change among the program's windows from the desktop
// handing the activation back to the window that had it when the user went to
// another program: the desktop activates that window again, but within the program
// nothing changed. UI thread only.
namespace WindowActivation {

// Starts following activations (once; later calls do nothing).
void follow();
// During the handling of `window`'s activation: true when the activation came from
// another of the program's windows, or is its first; false when `window` was
// already the program's active window (the program is being returned to).
bool fromOwnWindow(const QWidget* window);

} // namespace WindowActivation
