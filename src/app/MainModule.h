#pragma once

// The entry procedure: fixes the start-up directory, creates the event log, shows
// the splash window, then the main window. Returns the process exit code: non-zero
// when the log cannot be created (the reason is shown first).
int StartUp();

// The application's name and icon, set once the QApplication exists.
void SetUpApplication();
