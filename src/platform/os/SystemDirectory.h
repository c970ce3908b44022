#pragma once

#include <QList>
#include <QString>

// The program's system folder: ~/.local/share/video-kelvanor/system. It holds
// "system.ini", whose [drivers32] section lists the video compressors installed on this
// machine as VIDC.<fourcc>=<library>:<encoder>, one line each: FFmpeg's encoders that an
// AVI file can carry, under the AVI codec tag FFmpeg writes for them.
namespace SystemDirectory {

struct VideoCompressor {
    QString fourcc;  // four letters or digits, as written in the AVI stream header
    QString library; // the library that holds the encoder, e.g. "libavcodec.so.59"
    QString encoder; // FFmpeg's encoder name, e.g. "mjpeg"
};

// One entry per AVI codec tag that an installed encoder produces, with the encoder
// FFmpeg prefers for it; in FFmpeg's encoder order.
QList<VideoCompressor> installedVideoCompressors();

// The folder, without a trailing "/". Not created here.
QString path();

// Creates the folder and writes a fresh system.ini. True when the file was written.
bool writeSystemIni();

// Once per run (and again after setPath): writeSystemIni(). Answers the folder.
QString prepared();

// Test seam: another folder (empty: the default).
void setPath(const QString& folder);

} // namespace SystemDirectory
