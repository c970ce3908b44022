#include "CommandLine.h"
#include "CommandRun.h"
#include "MainModule.h"

#include "EventLog.h"
#include "Vars.h"

#include <QApplication>
#include <QThread>
#include <cstdio>

namespace {

// A capture from the command line prints nothing but its errors: Qt's own notes (a
// missing XDG_RUNTIME_DIR under cron, say) go to the event log, from the UI thread
// once the log is open, and are dropped otherwise; Qt's critical and fatal messages
// still go to standard error.
void commandLineMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "kelvanor: %s\n", qPrintable(message));
        return;
    }
    const QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread() && !Vars::StartupDirectory.isEmpty())
        WriteLog(QStringLiteral("Qt: ") + message);
}

} // namespace

int main(int argc, char** argv) {
    // --help and --version need no display.
    if (CommandLine::answersWithoutDisplay(argc, argv)) {
        QCoreApplication app(argc, argv);
        SetUpApplicationName();
        const CommandLine::Parsed parsed = CommandLine::parse(QCoreApplication::arguments());
        CommandLine::print(parsed);
        return parsed.exitCode;
    }
    // A command shows no window: Qt's offscreen platform, whether there is a display
    // or not (and the desktop's clipboard stays the user's).
    // Without a display, a line that does not parse goes the same way, so that its
    // usage error is said rather than the display's absence.
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") &&
                           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                           qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (CommandLine::runsWithoutWindow(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(commandLineMessages);
    } else if (noDisplay && !CommandLine::parsesAsItIs(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (noDisplay) {
        // Qt would abort, core dump and all, on finding no display for the window.
        std::fputs("kelvanor: there is no display to show the window on (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set).\nStart it from a desktop session, or capture without "
                   "a window: kelvanor --shot, --record or --run (kelvanor --help).\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    SetUpApplication();
    const CommandLine::Parsed parsed = CommandLine::parse(QApplication::arguments());
    if (!parsed.run) {
        CommandLine::print(parsed);
        return parsed.exitCode;
    }
    if (parsed.request.command != CommandLine::Command::Window) return CommandRun::run(parsed);
    return StartUp(parsed.folder);
}
