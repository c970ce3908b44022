#include "CommandLine.h"
#include "MainModule.h"

#include <QApplication>

int main(int argc, char** argv) {
    // --help and --version need no display.
    if (CommandLine::answersWithoutDisplay(argc, argv)) {
        QCoreApplication app(argc, argv);
        SetUpApplicationName();
        const CommandLine::Parsed parsed = CommandLine::parse(QCoreApplication::arguments());
        CommandLine::print(parsed);
        return parsed.exitCode;
    }
    QApplication app(argc, argv);
    SetUpApplication();
    const CommandLine::Parsed parsed = CommandLine::parse(QApplication::arguments());
    if (!parsed.run) {
        CommandLine::print(parsed);
        return parsed.exitCode;
    }
    return StartUp(parsed.folder);
}
