#pragma once

#include "CommandLine.h"

#include <QString>

class Master;

// A capture from the command line. It runs the window's own capture code on a main
// window that is never shown: the same panels set from the command line, the same
// capture action, the same writers, so a shot, a movie or a run is the file the window
// makes with the same settings. It starts as the window does (the folder's lock, the
// event log emptied and written) but reads no last run and writes none, and uses each
// camera's kept format and controls without changing them.
//
// What it prints: errors (and warnings) on standard error, each after "kelvanor: ";
// --list-devices on standard output; the progress line of --record and --run on
// standard error when it is a terminal (or with --progress).
namespace CommandRun {

// Runs `parsed`'s command to its end; the exit status: 0 done, 1 failed, 2 a usage
// error found only once a parameters file was read.
int run(const CommandLine::Parsed& parsed);

// --list-devices: each device's index, name and node, then its formats with their
// sizes and frame rates.
QString deviceListing();

// The position in the driver list of `wanted`: an index, a device's name or its node.
// -1, with the reason and the devices there are, when none is.
int findDevice(const QString& wanted, QString* reason);

// The image panel's stamps as the request asks: each stamp on at its place (off when
// not asked for), its colour where given, the text.
void applyShotStamps(Master& m, const CommandLine::Request& request);

// Writes the image window's stamped shot to `path` as the window's File, Save does:
// a BMP for a name ending in ".bmp", else a JPEG of `quality`. False, with the reason,
// when there is no picture or the file could not be written (nothing is left then).
bool writeShot(Master& m, const QString& path, int quality, QString* reason);

// Why `path` cannot be written (its folder missing or closed, a folder of that name,
// a file that cannot be replaced); empty when it can. Creates nothing.
QString whyNotWritable(const QString& path);

} // namespace CommandRun
