#include "CommandLine.h"

#include "Clock.h"
#include "DataFolders.h"

#include <QColor>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace CommandLine {

namespace {

// The longest movie the movie panel can set (23:59:59) and its frame rates.
constexpr int kMaxSeconds = 23 * 3600 + 59 * 60 + 59;
constexpr int kMinRate = 1;
constexpr int kMaxRate = 40;

QCommandLineOption option(const QStringList& names, const QString& description,
                          const QString& valueName = QString()) {
    return QCommandLineOption(names, description, valueName);
}

struct Options {
    QCommandLineParser parser;
    QCommandLineOption help;
    QCommandLineOption version;
    QCommandLineOption folder =
        option({QStringLiteral("folder")},
               QStringLiteral("Keep the program's files (event log, last run, camera settings) "
                              "in <folder> instead of its data folder, %1. The environment "
                              "variable %2 does the same.")
                   .arg(DataFolders::userFolder(), QLatin1String(DataFolders::kFolderVariable)),
               QStringLiteral("folder"));
    // The commands.
    QCommandLineOption listDevices =
        option({QStringLiteral("list-devices")},
               QStringLiteral("List every capture device (index, name, node, formats and sizes) and end."));
    QCommandLineOption shot = option({QStringLiteral("shot")},
                                     QStringLiteral("Take one stamped still into <file>: JPEG, or BMP when "
                                                    "the name ends in .bmp. Ends when it is written."),
                                     QStringLiteral("file"));
    QCommandLineOption record = option({QStringLiteral("record")},
                                       QStringLiteral("Record a movie (AVI) into <file>, for --seconds or "
                                                      "until stopped (Ctrl+C, SIGTERM)."),
                                       QStringLiteral("file"));
    QCommandLineOption run = option(
        {QStringLiteral("run")},
        QStringLiteral("Load a capture parameters file and run its mode's capture once: a movie for its "
                       "duration, an image shot (into --output), or a multiple-image run for --count "
                       "shots or until stopped."),
        QStringLiteral("file.klp"));
    // When.
    QCommandLineOption at =
        option({QStringLiteral("at")}, QStringLiteral("Start the capture at this local date and time."),
               QStringLiteral("YYYY-MM-DD HH:MM:SS"));
    QCommandLineOption after =
        option({QStringLiteral("after")}, QStringLiteral("Start the capture after this many seconds."),
               QStringLiteral("seconds"));
    // What from.
    QCommandLineOption device = option({QStringLiteral("d"), QStringLiteral("device")},
                                       QStringLiteral("The device, by its index or name as --list-devices "
                                                      "shows them (default: the one used last)."),
                                       QStringLiteral("device"));
    QCommandLineOption size =
        option({QStringLiteral("s"), QStringLiteral("size"), QStringLiteral("resolution")},
               QStringLiteral("The picture size, one the device offers (default: the "
                              "device's kept format)."),
               QStringLiteral("WxH"));
    // The movie.
    QCommandLineOption seconds =
        option({QStringLiteral("t"), QStringLiteral("seconds")},
               QStringLiteral("Record for this many seconds (1 to 86399; default: until stopped)."),
               QStringLiteral("N"));
    QCommandLineOption rate =
        option({QStringLiteral("r"), QStringLiteral("rate")},
               QStringLiteral("Frames per second of the movie (1 to 40)."), QStringLiteral("fps"));
    QCommandLineOption encoder =
        option({QStringLiteral("c"), QStringLiteral("encoder")},
               QStringLiteral("The movie's video encoder, by FFmpeg's name (default: "
                              "mjpeg)."),
               QStringLiteral("name"));
    QCommandLineOption sound =
        option({QStringLiteral("sound")}, QStringLiteral("Record sound with the movie."));
    QCommandLineOption noSound =
        option({QStringLiteral("no-sound")}, QStringLiteral("Record the movie without sound."));
    // Runs.
    QCommandLineOption count = option({QStringLiteral("n"), QStringLiteral("count")},
                                      QStringLiteral("End a multiple-image run after this many shots "
                                                     "(default: until stopped)."),
                                      QStringLiteral("N"));
    QCommandLineOption output =
        option({QStringLiteral("o"), QStringLiteral("output")},
               QStringLiteral("With --run: the file its capture writes instead of the "
                              "parameters file's (an image shot's file)."),
               QStringLiteral("file"));
    // The still.
    QCommandLineOption quality =
        option({QStringLiteral("q"), QStringLiteral("quality"), QStringLiteral("jpeg")},
               QStringLiteral("JPEG quality of a shot, 1 to 100 (default: 90)."), QStringLiteral("N"));
    QCommandLineOption time =
        option({QStringLiteral("time")},
               QStringLiteral("Stamp the time at <place>: top-left, top-right, top-centre, bottom-left, "
                              "bottom-right or bottom-centre."),
               QStringLiteral("place"));
    QCommandLineOption date = option({QStringLiteral("date")}, QStringLiteral("Stamp the date at <place>."),
                                     QStringLiteral("place"));
    QCommandLineOption text =
        option({QStringLiteral("text")}, QStringLiteral("Stamp <text> (at top-left unless --text-place)."),
               QStringLiteral("text"));
    QCommandLineOption textPlace =
        option({QStringLiteral("text-place")}, QStringLiteral("Where the text stamp goes."),
               QStringLiteral("place"));
    QCommandLineOption timeColour =
        option({QStringLiteral("time-colour"), QStringLiteral("time-color")},
               QStringLiteral("The time stamp's colour: #RRGGBB or a name."), QStringLiteral("colour"));
    QCommandLineOption dateColour =
        option({QStringLiteral("date-colour"), QStringLiteral("date-color")},
               QStringLiteral("The date stamp's colour."), QStringLiteral("colour"));
    QCommandLineOption textColour =
        option({QStringLiteral("text-colour"), QStringLiteral("text-color")},
               QStringLiteral("The text stamp's colour."), QStringLiteral("colour"));
    QCommandLineOption progress =
        option({QStringLiteral("progress")},
               QStringLiteral("Show the progress (of a delayed start, a recording, a run) also when standard "
                              "error is not a terminal, a line a second."));

    Options() : help(parser.addHelpOption()), version(parser.addVersionOption()) {
        parser.setApplicationDescription(
            QStringLiteral("Video Kelvanor 2000: movies, stamped stills and interval shots from a camera.\n"
                           "Without a command it opens its window; with one it captures without a window "
                           "and ends.\nExit status: 0 done, 1 the capture failed, 2 a usage error."));
        for (const QCommandLineOption* o :
             {&folder,     &listDevices, &shot,       &record,  &run,     &at,    &after,
              &device,     &size,        &seconds,    &rate,    &encoder, &sound, &noSound,
              &count,      &output,      &quality,    &time,    &date,    &text,  &textPlace,
              &timeColour, &dateColour,  &textColour, &progress})
            parser.addOption(*o);
    }
};

// The option's first long name ("size" for -s, --size, --resolution).
QString longName(const QCommandLineOption& option) {
    for (const QString& name : option.names())
        if (name.size() > 1) return name;
    return option.names().constFirst();
}

Parsed usageError(const QString& what) {
    Parsed result;
    result.run = false;
    result.exitCode = 2;
    result.errors =
        what +
        QStringLiteral("\nTry '%1 --help' for the options.\n").arg(QCoreApplication::applicationName());
    return result;
}

// A whole number in [low, high], or nullopt.
std::optional<int> number(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high) return std::nullopt;
    return value;
}

std::optional<quint32> colourFrom(const QString& text) {
    const QColor c = QColor::fromString(text.trimmed());
    if (!c.isValid()) return std::nullopt;
    return quint32(c.red()) | quint32(c.green()) << 8 | quint32(c.blue()) << 16;
}

} // namespace

int placeFromName(const QString& name) {
    static const char* const names[] = {"top-left",    "top-right",    "top-centre",
                                        "bottom-left", "bottom-right", "bottom-centre"};
    QString n = name.trimmed().toLower();
    n.replace(QLatin1String("center"), QLatin1String("centre"));
    n.replace(QLatin1Char('_'), QLatin1Char('-'));
    for (int i = 0; i < 6; ++i)
        if (n == QLatin1String(names[i])) return i;
    return -1;
}

Parsed parse(const QStringList& arguments, std::optional<QDateTime> now) {
    Options o;
    QCommandLineParser& p = o.parser;
    if (!p.parse(arguments)) return usageError(p.errorText());
    Parsed result;
    if (p.isSet(o.help) || p.isSet(QStringLiteral("help-all"))) {
        result.run = false;
        result.output = p.helpText();
        return result;
    }
    if (p.isSet(o.version)) {
        result.run = false;
        result.output = QCoreApplication::applicationName() + QLatin1Char(' ') +
                        QCoreApplication::applicationVersion() + '\n';
        return result;
    }
    if (!p.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("Unexpected argument '%1'.").arg(p.positionalArguments().constFirst()));
    if (p.isSet(o.folder)) {
        result.folder = p.value(o.folder);
        if (result.folder.isEmpty()) {
            result.run = false;
            result.exitCode = 2;
            result.errors = QStringLiteral("The option --folder needs a folder name.\n");
            return result;
        }
    }

    Request& r = result.request;
    // One command at most, each given once.
    const std::pair<const QCommandLineOption*, Command> commands[] = {{&o.listDevices, Command::ListDevices},
                                                                      {&o.shot, Command::Shot},
                                                                      {&o.record, Command::Record},
                                                                      {&o.run, Command::Run}};
    QStringList named;
    for (const auto& [opt, command] : commands) {
        if (!p.isSet(*opt)) continue;
        named << QStringLiteral("--") + opt->names().constFirst();
        r.command = command;
        if (!opt->valueName().isEmpty()) {
            const QStringList values = p.values(*opt);
            if (values.size() > 1)
                return usageError(
                    QStringLiteral("The option %1 is given more than once.").arg(named.constLast()));
            r.file = values.constFirst();
            if (r.file.isEmpty())
                return usageError(QStringLiteral("The option %1 needs a file name.").arg(named.constLast()));
        }
    }
    if (named.size() > 1)
        return usageError(
            QStringLiteral("Give one command at a time, not %1.").arg(named.join(QStringLiteral(" and "))));

    // Options that belong to some commands only.
    const Command S = Command::Shot, R = Command::Record, N = Command::Run;
    struct Belonging {
        const QCommandLineOption* option;
        std::vector<Command> with;
        const char* which;
    };
    const char* const any = "--shot, --record or --run";
    const Belonging belongings[] = {
        {&o.at, {S, R, N}, any},        {&o.after, {S, R, N}, any},     {&o.device, {S, R, N}, any},
        {&o.size, {S, R, N}, any},      {&o.progress, {S, R, N}, any},  {&o.seconds, {R}, "--record"},
        {&o.rate, {R}, "--record"},     {&o.encoder, {R}, "--record"},  {&o.sound, {R}, "--record"},
        {&o.noSound, {R}, "--record"},  {&o.count, {N}, "--run"},       {&o.output, {N}, "--run"},
        {&o.quality, {S}, "--shot"},    {&o.time, {S}, "--shot"},       {&o.date, {S}, "--shot"},
        {&o.text, {S}, "--shot"},       {&o.textPlace, {S}, "--shot"},  {&o.timeColour, {S}, "--shot"},
        {&o.dateColour, {S}, "--shot"}, {&o.textColour, {S}, "--shot"},
    };
    for (const Belonging& b : belongings) {
        if (!p.isSet(*b.option) || std::find(b.with.begin(), b.with.end(), r.command) != b.with.end())
            continue;
        return usageError(
            QStringLiteral("The option --%1 goes with %2.").arg(longName(*b.option), QLatin1String(b.which)));
    }

    if (p.isSet(o.at) && p.isSet(o.after))
        return usageError(QStringLiteral("Give --at or --after, not both."));
    if (p.isSet(o.at)) {
        const QString text = p.value(o.at).trimmed();
        const QDateTime when = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!when.isValid())
            return usageError(
                QStringLiteral("The date and time '%1' is not of the form YYYY-MM-DD HH:MM:SS.").arg(text));
        if (when <= (now ? *now : Clock::now()))
            return usageError(QStringLiteral("The date and time %1 has already passed.").arg(text));
        r.at = when;
    }
    if (p.isSet(o.after)) {
        r.afterSeconds = number(p.value(o.after), 0, kMaxSeconds * 366);
        if (!r.afterSeconds)
            return usageError(
                QStringLiteral("The delay '%1' is not a number of seconds.").arg(p.value(o.after)));
    }
    if (p.isSet(o.device)) {
        r.device = p.value(o.device).trimmed();
        if (r.device.isEmpty())
            return usageError(QStringLiteral("The option --device needs an index or a name."));
    }
    if (p.isSet(o.size)) {
        static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,5})\\s*[xX]\\s*(\\d{1,5})\\s*$"));
        const QRegularExpressionMatch m = form.match(p.value(o.size));
        const int w = m.hasMatch() ? m.captured(1).toInt() : 0;
        const int h = m.hasMatch() ? m.captured(2).toInt() : 0;
        if (w <= 0 || h <= 0)
            return usageError(
                QStringLiteral("The size '%1' is not of the form WxH (640x480).").arg(p.value(o.size)));
        r.size = QSize(w, h);
    }
    if (p.isSet(o.seconds)) {
        r.seconds = number(p.value(o.seconds), 1, kMaxSeconds);
        if (!r.seconds)
            return usageError(QStringLiteral("The length '%1' is not a number of seconds from 1 to %2.")
                                  .arg(p.value(o.seconds))
                                  .arg(kMaxSeconds));
    }
    if (p.isSet(o.rate)) {
        r.rate = number(p.value(o.rate), kMinRate, kMaxRate);
        if (!r.rate)
            return usageError(QStringLiteral("The frame rate '%1' is not a number from %2 to %3.")
                                  .arg(p.value(o.rate))
                                  .arg(kMinRate)
                                  .arg(kMaxRate));
    }
    if (p.isSet(o.encoder)) {
        r.encoder = p.value(o.encoder).trimmed();
        if (r.encoder.isEmpty())
            return usageError(QStringLiteral("The option --encoder needs an encoder name."));
    }
    if (p.isSet(o.sound) && p.isSet(o.noSound))
        return usageError(QStringLiteral("Give --sound or --no-sound, not both."));
    if (p.isSet(o.sound)) r.sound = true;
    if (p.isSet(o.noSound)) r.sound = false;
    if (p.isSet(o.count)) {
        r.count = number(p.value(o.count), 1, 99999);
        if (!r.count)
            return usageError(
                QStringLiteral("The count '%1' is not a number from 1 to 99999.").arg(p.value(o.count)));
    }
    if (p.isSet(o.output)) {
        r.output = p.value(o.output);
        if (r.output.isEmpty()) return usageError(QStringLiteral("The option --output needs a file name."));
    }
    if (p.isSet(o.quality)) {
        const auto q = number(p.value(o.quality), 1, 100);
        if (!q)
            return usageError(QStringLiteral("The JPEG quality '%1' is not a number from 1 to 100.")
                                  .arg(p.value(o.quality)));
        r.quality = *q;
    }
    for (const auto& [opt, stamp] :
         {std::pair{&o.time, &r.time}, std::pair{&o.date, &r.date}, std::pair{&o.textPlace, &r.text}}) {
        if (!p.isSet(*opt)) continue;
        stamp->place = placeFromName(p.value(*opt));
        if (stamp->place < 0)
            return usageError(
                QStringLiteral("The place '%1' of --%2 is none of top-left, top-right, top-centre, "
                               "bottom-left, bottom-right, bottom-centre.")
                    .arg(p.value(*opt), longName(*opt)));
    }
    if (p.isSet(o.text)) {
        r.stampText = p.value(o.text);
        if (r.text.place < 0) r.text.place = 0;
    } else if (p.isSet(o.textPlace)) {
        return usageError(QStringLiteral("The option --text-place goes with --text."));
    }
    for (const auto& [opt, stamp] : {std::pair{&o.timeColour, &r.time}, std::pair{&o.dateColour, &r.date},
                                     std::pair{&o.textColour, &r.text}}) {
        if (!p.isSet(*opt)) continue;
        stamp->colour = colourFrom(p.value(*opt));
        if (!stamp->colour)
            return usageError(QStringLiteral("The colour '%1' of --%2 is neither #RRGGBB nor a colour name.")
                                  .arg(p.value(*opt), longName(*opt)));
    }
    r.progress = p.isSet(o.progress);
    return result;
}

namespace {

QStringList argumentList(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

bool answersWithoutDisplay(int argc, const char* const* argv) {
    // Parsed alone, Qt's own options are unknown here: such a line goes the normal way.
    Options o;
    return o.parser.parse(argumentList(argc, argv)) &&
           (o.parser.isSet(o.help) || o.parser.isSet(QStringLiteral("help-all")) ||
            o.parser.isSet(o.version));
}

bool parsesAsItIs(int argc, const char* const* argv) {
    Options o;
    return o.parser.parse(argumentList(argc, argv));
}

bool runsWithoutWindow(int argc, const char* const* argv) {
    // Qt's own options may stand anywhere: look for the commands' names alone.
    for (const QString& a : argumentList(argc, argv)) {
        for (const char* name : {"list-devices", "shot", "record", "run"}) {
            const QString n = QLatin1String(name);
            if (a == QLatin1String("--") + n || a.startsWith(QLatin1String("--") + n + QLatin1Char('=')))
                return true;
        }
        if (a == QLatin1String("--")) break;
    }
    return false;
}

void print(const Parsed& parsed) {
    if (!parsed.output.isEmpty()) {
        std::fputs(parsed.output.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
    }
    if (!parsed.errors.isEmpty()) std::fputs(parsed.errors.toLocal8Bit().constData(), stderr);
}

} // namespace CommandLine
