#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Starts other programs of the desktop: directly (never through a shell) and without
// waiting for them. The started program is on its own; nothing here tracks it.
namespace Launcher {

// Starts `program` (a path, or a name looked up on PATH) with `arguments`. True when
// the program is running; false when it is missing or could not be executed.
bool start(const QString& program, const QStringList& arguments = {});

// Full path of the executable `name` found on PATH; empty when there is none.
QString findOnPath(const QString& name);

// Test seam: every start() goes to `starter` instead (pass {} to undo).
void setStarter(std::function<bool(const QString& program, const QStringList& arguments)> starter);

} // namespace Launcher
