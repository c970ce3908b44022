#pragma once

#include <QString>
#include <QStringList>

// The program's command line, read with QCommandLineParser so that further options join
// the same table:
//   --folder DIR   keep the program's files in DIR instead of its data folder
//   -h, --help     the options
//   -v, --version  the program's name and version
// Qt's own options (-platform, -style, ...) are taken out by QApplication before this.
namespace CommandLine {

struct Parsed {
    bool run = true;  // false: the program ends here, with exitCode, once `output` is printed
    int exitCode = 0; // 0 for help and version, 2 for a command line it cannot use
    QString output;   // for standard output (help, version)
    QString errors;   // for standard error (what is wrong, and how to ask for help)
    QString folder;   // --folder as given; empty when not
};

// `arguments` as QCoreApplication::arguments() gives them, the program first.
Parsed parse(const QStringList& arguments);

// True when the command line asks only for an answer printed on the terminal (help,
// version), which needs no display: main then answers it without starting the window
// system, so `kelvanor --help` works on a console too.
bool answersWithoutDisplay(int argc, const char* const* argv);

// Prints `parsed`'s output and errors to standard output and standard error.
void print(const Parsed& parsed);

} // namespace CommandLine
