#pragma once

#include <QString>
#include <memory>

class InstanceLock;

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

// The first steps of every start, with a window or without: fixes the start-up
// directory (`folder` when not empty), takes the folder's lock (kept in `lock` until
// the program ends), points the system folder and the registry there, and creates the
// event log. False, with the message to give in `refusal`, when another running
// program holds the folder or the log cannot be created.
bool OpenProgramFolder(const QString& folder, std::unique_ptr<InstanceLock>& lock, QString* refusal);
