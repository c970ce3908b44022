#pragma once

#include "AviWriter.h"
#include "FfmpegVideoEncoder.h"
#include "JpegEncoder.h"
#include "RecorderSettings.h"
#include "VideoFrame.h"

#include <QSize>
#include <cstdint>

// A movie built one frame at a time: open() creates the AVI at the settings'
// frame period, every append() adds one frame, close() writes the index. Each call
// is short (one frame) and runs on the caller's thread. The file is flushed after
// every frame, so frames appended before a crash stay readable.
class SingleFrameWriter {
public:
    bool open(const RecorderSettings& settings, QSize frameSize);
    bool append(const VideoFrame& frame);
    bool close();

    bool isOpen() const { return m_writer.isOpen(); }
    std::int64_t frames() const { return m_writer.videoFrames(); }
    QString errorText() const { return m_error; }

private:
    RecorderSettings m_settings;
    QSize m_size;
    bool m_mjpeg = true;
    AviWriter m_writer;
    JpegEncoder m_jpeg;
    FfmpegVideoEncoder m_encoder;
    std::int64_t m_next = 0;
    QString m_error;
};
