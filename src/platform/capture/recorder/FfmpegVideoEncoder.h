#pragma once

#include "FfmpegPtr.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

struct AVCodecContext;
struct AVPacket;
struct AVRational;

// One of FFmpeg's video encoders chosen by name, fed with QImages. Used by one
// thread at a time. B-frames are off, so packets come out in frame order.
class FfmpegVideoEncoder {
public:
    using PacketSink = std::function<bool(AVPacket*)>;

    // quality 1..100 maps onto the encoder's quantiser scale where it has one.
    bool open(const QString& name, int width, int height, AVRational frameRate, int quality);
    const AVCodecContext* context() const { return m_ctx.get(); }
    QString errorText() const { return m_error; }
    // True when every frame is a key frame (MJPEG, raw, lossless intra codecs).
    bool isIntraOnly() const { return m_intraOnly; }

    // Encodes one picture as frame number pts (in frame units); finished packets go
    // to sink, which answers false to stop on a write error.
    bool encode(const QImage& image, std::int64_t pts, const PacketSink& sink);
    // Drains the encoder at the end of the movie.
    bool flush(const PacketSink& sink);

private:
    bool drain(const PacketSink& sink);

    AvCodecContextPtr m_ctx;
    AvFramePtr m_frame;
    AvPacketPtr m_packet;
    SwsContextPtr m_sws;
    std::vector<std::uint8_t> m_source; // the picture with room after it for the scaler
    bool m_intraOnly = false;
    QString m_error;
};
