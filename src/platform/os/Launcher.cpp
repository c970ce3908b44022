#include "Launcher.h"

#include <QProcess>
#include <QStandardPaths>

namespace {
std::function<bool(const QString&, const QStringList&)> g_starter;
}

namespace Launcher {

bool start(const QString& program, const QStringList& arguments) {
    if (g_starter) return g_starter(program, arguments);
    if (program.isEmpty()) return false;
    // startDetached reports a program that cannot be executed as a failure.
    return QProcess::startDetached(program, arguments);
}

QString findOnPath(const QString& name) {
    if (name.isEmpty()) return {};
    return QStandardPaths::findExecutable(name);
}

void setStarter(std::function<bool(const QString&, const QStringList&)> starter) {
    g_starter = std::move(starter);
}

} // namespace Launcher
