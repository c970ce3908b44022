#pragma once

#include <QString>
#include <vector>

// The choice made in a capture window's compression dialog; the recorder reads it from
// the window (CaptureWindow::compression()) when a capture starts.
struct VideoCompression {
    // FFmpeg encoder name; "mjpeg" by default, "rawvideo" for uncompressed frames.
    QString encoder = QStringLiteral("mjpeg");
    // 1 (smallest file) to 100 (best picture); encoders without a quality setting ignore it.
    int quality = 75;

    bool operator==(const VideoCompression&) const = default;
};

struct VideoEncoderInfo {
    QString name;     // FFmpeg's name, e.g. "mjpeg"
    QString longName; // FFmpeg's description, e.g. "MJPEG (Motion JPEG)"
};

// The installed FFmpeg video encoders whose streams an AVI file can carry, by name.
std::vector<VideoEncoderInfo> aviVideoEncoders();
