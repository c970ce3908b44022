#pragma once

#include "FfmpegPtr.h"
#include "RecorderSettings.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

struct AVCodecContext;
struct AVPacket;
struct AVRational;
struct AVStream;

// One AVI file written with FFmpeg's AVI muxer: a video stream at a constant frame
// rate and, optionally, a PCM sound stream. The muxer itself switches to OpenDML
// (AVIX RIFF chunks, super index) past 1 GB. Packets are written as they come
// (no interleaving queue), so a flush puts everything given so far on disk and a
// file whose writer was killed can still be read up to there.
// Used by one thread at a time.
class AviWriter {
public:
    AviWriter() = default;
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Video parameters: from the encoder context when given, else an MJPEG stream
    // of width x height. Creates (replaces) the file and writes the headers.
    bool open(const QString& path, int width, int height, AVRational frameRate, const AVCodecContext* encoder,
              const std::optional<AudioFormat>& audio);
    bool isOpen() const { return m_ctx != nullptr; }

    // Appends one video frame at the next frame index.
    bool writeVideo(const QByteArray& data, bool keyFrame);
    // Appends an encoder's packet; its pts/dts are in frame units (time base 1/rate).
    bool writeVideoPacket(AVPacket* packet);
    // Appends whole PCM sample blocks.
    bool writeAudio(const char* data, qsizetype bytes);
    bool flush();
    // Writes the index and the final sizes and closes the file. After a write error
    // the file is closed as it is: readable, but without index.
    bool finish();

    std::int64_t videoFrames() const { return m_videoFrames; }
    std::int64_t audioSamples() const { return m_audioSamples; }
    std::int64_t fileBytes() const;
    QString errorText() const { return m_error; }

    // The file's frame rate for a frame period: whole rates (66667 us is 15/1) and
    // the NTSC rates (33367 us is 30000/1001) exactly, others as 1000000/period.
    static AVRational frameRateFor(std::int64_t usPerFrame);
    // The file's frame rate for a recording: its exact fraction when it has one (as
    // small as an encoder's time base allows: both terms below 65536), else that of
    // its period.
    static AVRational frameRateFor(const RecorderSettings& settings);

private:
    bool fail(const QString& what, int averror);

    AvFormatOutputPtr m_ctx;
    AVStream* m_video = nullptr;
    AVStream* m_audio = nullptr;
    // The time base of the frames given (1/rate): their pts count frames.
    int m_frameTimeBaseNum = 1;
    int m_frameTimeBaseDen = 15;
    int m_blockAlign = 1;
    std::int64_t m_videoFrames = 0;
    std::int64_t m_audioSamples = 0;
    AvPacketPtr m_packet;
    QString m_path;
    QString m_error;
};
