#pragma once

#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

// The program's command line, read with QCommandLineParser. Without a command the
// program opens its window; a command captures without one and ends:
//   --list-devices        every device: index, name, node, formats and sizes
//   --shot FILE           one stamped still (BMP or JPEG by the file's extension)
//   --record FILE         a movie, for --seconds or until stopped
//   --run FILE.klp        a parameters file's capture, once
// and what they take: --at, --after (a delayed start), -d/--device, -s/--size,
// -t/--seconds, -r/--rate, -c/--encoder, --sound/--no-sound, -n/--count, --output,
// -q/--quality, the stamps (--time, --date, --text and their places and colours),
// --progress; --folder DIR, -h/--help, -v/--version for every start.
// Qt's own options (-platform, -style, ...) are taken out by QApplication before this.
namespace CommandLine {

enum class Command { Window, ListDevices, Shot, Record, Run };

// A stamp place as the position lists number them, or -1 for a stamp that is off.
struct Stamp {
    int place = -1;
    std::optional<quint32> colour; // 0x00BBGGRR; the program's colour when not given
};

// What a command asks for, checked for form (values, ranges, combinations); whether
// the device, the file or the parameters file are there is the run's to find out.
struct Request {
    Command command = Command::Window;
    QString file;                    // the shot, the movie, or the parameters file
    QString output;                  // --output: where a parameters file's capture goes
    std::optional<QDateTime> at;     // --at, local time
    std::optional<int> afterSeconds; // --after
    QString device;                  // --device: an index or a name; empty: as the window
    QSize size;                      // --size; invalid: the camera's own
    std::optional<int> seconds;      // --seconds; none: until stopped
    std::optional<int> rate;         // --rate, frames per second
    QString encoder;                 // --encoder; empty: the window's (MJPEG)
    std::optional<bool> sound;       // --sound / --no-sound; none: as the device offers
    std::optional<int> count;        // --count: shots of a multiple-image run
    int quality = 90;                // --quality, a JPEG shot's (the window's own)
    Stamp time, date, text;
    QString stampText;     // --text
    bool progress = false; // --progress: the progress line also off a terminal

    bool capturing() const { return command != Command::Window && command != Command::ListDevices; }
};

struct Parsed {
    bool run = true;  // false: the program ends here, with exitCode, once `output` is printed
    int exitCode = 0; // 0 for help and version, 2 for a command line it cannot use
    QString output;   // for standard output (help, version)
    QString errors;   // for standard error (what is wrong, and how to ask for help)
    QString folder;   // --folder as given; empty when not
    Request request;
};

// `arguments` as QCoreApplication::arguments() gives them, the program first. `now`
// is the moment a --at date must lie after (Clock::now() when not given).
Parsed parse(const QStringList& arguments, std::optional<QDateTime> now = std::nullopt);

// True when the command line asks only for an answer printed on the terminal (help,
// version), which needs no display: main then answers it without starting the window
// system, so `kelvanor --help` works on a console too.
bool answersWithoutDisplay(int argc, const char* const* argv);

// True when the command line names a command (a capture or the device list): it
// shows no window, so main starts Qt on its offscreen platform, display or not.
bool runsWithoutWindow(int argc, const char* const* argv);

// True when the command line parses as it is, without Qt's own options taken out: a
// line that does not may hold a usage error to report, which needs no display either.
bool parsesAsItIs(int argc, const char* const* argv);

// "top-left" ... "bottom-centre" (also "center") as the position lists number them; -1
// for a name that is none.
int placeFromName(const QString& name);

// Prints `parsed`'s output and errors to standard output and standard error.
void print(const Parsed& parsed);

} // namespace CommandLine
