#pragma once

#include <QString>

// The entry procedure: fixes the start-up directory (`folder` when not empty, see
// DataFolders::chooseStartupFolder), creates the event log, shows the splash window, then
// the main window. Returns the process exit code: non-zero when the log cannot be created
// or another running program holds the folder (the reason is shown first).
int StartUp(const QString& folder = QString());

// The application's name, version, desktop entry and icon, set once the QApplication
// exists.
void SetUpApplication();

// The name and version alone (all a QCoreApplication needs to answer --version).
void SetUpApplicationName();
