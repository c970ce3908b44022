#pragma once

#include <QByteArray>
#include <QImage>
#include <cstdint>

// One frame as a driver delivers it, passed from the driver's worker thread to the
// capture window (display) and the recorder. Cheap to copy: QImage and QByteArray
// share their data.
struct VideoFrame {
    // The picture, QImage::Format_RGB888 (or RGB32), the video's size. Always set.
    QImage image;
    // The camera's own JPEG bytes when the device delivered MJPEG; empty otherwise.
    // A recorder writing MJPEG at the same size may store these without re-encoding.
    QByteArray mjpeg;
    // Monotonic capture time in microseconds (CLOCK_MONOTONIC), and the driver's
    // running frame number starting at 0.
    int64_t captureTimeUs = 0;
    uint64_t sequence = 0;

    bool isValid() const { return !image.isNull(); }
};
