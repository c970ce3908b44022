#include "CommandLine.h"

#include "DataFolders.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace CommandLine {

namespace {

struct Options {
    QCommandLineParser parser;
    QCommandLineOption help;
    QCommandLineOption version;
    QCommandLineOption folder{
        QStringLiteral("folder"),
        QStringLiteral("Keep the program's files (event log, last run, camera settings) "
                       "in <folder> instead of its data folder, %1. The environment "
                       "variable %2 does the same.")
            .arg(DataFolders::userFolder(), QLatin1String(DataFolders::kFolderVariable)),
        QStringLiteral("folder")};

    Options() : help(parser.addHelpOption()), version(parser.addVersionOption()) {
        parser.setApplicationDescription(
            QStringLiteral("Video Kelvanor 2000: movies, stamped stills and interval shots from a camera."));
        parser.addOption(folder);
    }
};

} // namespace

Parsed parse(const QStringList& arguments) {
    Options o;
    Parsed result;
    if (!o.parser.parse(arguments)) {
        result.run = false;
        result.exitCode = 2;
        result.errors =
            o.parser.errorText() +
            QStringLiteral("\nTry '%1 --help' for the options.\n").arg(QCoreApplication::applicationName());
        return result;
    }
    if (o.parser.isSet(o.help) || o.parser.isSet(QStringLiteral("help-all"))) {
        result.run = false;
        result.output = o.parser.helpText();
        return result;
    }
    if (o.parser.isSet(o.version)) {
        result.run = false;
        result.output = QCoreApplication::applicationName() + QLatin1Char(' ') +
                        QCoreApplication::applicationVersion() + '\n';
        return result;
    }
    if (!o.parser.positionalArguments().isEmpty()) {
        result.run = false;
        result.exitCode = 2;
        result.errors =
            QStringLiteral("Unexpected argument '%1'.\nTry '%2 --help' for the options.\n")
                .arg(o.parser.positionalArguments().constFirst(), QCoreApplication::applicationName());
        return result;
    }
    if (o.parser.isSet(o.folder)) {
        result.folder = o.parser.value(o.folder);
        if (result.folder.isEmpty()) {
            result.run = false;
            result.exitCode = 2;
            result.errors = QStringLiteral("The option --folder needs a folder name.\n");
        }
    }
    return result;
}

bool answersWithoutDisplay(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Parsed alone, Qt's own options are unknown here: such a line goes the normal way.
    Options o;
    return o.parser.parse(arguments) &&
           (o.parser.isSet(o.help) || o.parser.isSet(QStringLiteral("help-all")) ||
            o.parser.isSet(o.version));
}

void print(const Parsed& parsed) {
    if (!parsed.output.isEmpty()) {
        std::fputs(parsed.output.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
    }
    if (!parsed.errors.isEmpty()) std::fputs(parsed.errors.toLocal8Bit().constData(), stderr);
}

} // namespace CommandLine
