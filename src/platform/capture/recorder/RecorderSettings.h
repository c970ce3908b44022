#pragma once

#include <QString>
#include <cstdint>

// PCM sound format of a recording: 8-bit unsigned or 16-bit signed little-endian
// samples, 1 or 2 channels, 8000 to 44100 samples per second.
struct AudioFormat {
    int channels = 1;
    int samplesPerSec = 11025;
    int bitsPerSample = 8;

    int blockAlign() const { return channels * bitsPerSample / 8; }
    bool isValid() const {
        return (channels == 1 || channels == 2) && (bitsPerSample == 8 || bitsPerSample == 16) &&
               samplesPerSec >= 8000 && samplesPerSec <= 44100;
    }
};

// What a streaming recording or a single-frame movie writes.
struct RecorderSettings {
    QString filePath;
    // The frame period of the file in microseconds (66667 is 15 frames per second).
    std::int64_t usPerFrame = 66667;
    // The file's rate as the exact fraction of frames per second (30000/1001) when it
    // is a camera's; 0/0: the rate of usPerFrame.
    std::uint32_t rateNumerator = 0;
    std::uint32_t rateDenominator = 0;
    // Said at the start and the end of the recording: why its rate is not the one
    // asked for. Empty when it is.
    QString rateNote;
    // Seconds of movie after which the recording ends by itself; 0 is no limit.
    int timeLimitS = 0;
    bool captureAudio = false;
    AudioFormat audio;
    // An FFmpeg video encoder name; "mjpeg" is encoded with libjpeg-turbo.
    QString encoder = QStringLiteral("mjpeg");
    // 1 (smallest file) to 100 (best picture).
    int quality = 90;
    // Dropped frames above this share of all frames make the end status a warning.
    int percentDropForError = 10;
    // The recording stops cleanly when the file system has less free space than this.
    std::int64_t reserveBytes = 4 * 1024 * 1024;
    // How the user ends the recording ("Hit Escape to Stop"); shown with the
    // start and progress texts, empty when only the program can end it.
    QString stopHint;
};

// Status numbers of the capture status callback, as the capture window reports them.
namespace RecorderStatusId {
constexpr int Begin = 300;
constexpr int End = 301;
constexpr int CantOpen = 409;
constexpr int WriteError = 414;
constexpr int NoDiskSpace = 415;
constexpr int DriverError = 418;
constexpr int WaveOpenError = 419;
constexpr int NoFrameCaptured = 434;
constexpr int CompressorError = 440;
constexpr int VideoCurrent = 510;
constexpr int VideoAudio = 511;
constexpr int VideoOnly = 512;
constexpr int FramesDropped = 513;
} // namespace RecorderStatusId
