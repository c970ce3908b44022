#pragma once

#include "CameraJpeg.h"

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <memory>

// One frame as a driver delivers it, passed from the driver's worker thread to the
// capture window (display) and the recorder. Cheap to copy: copies share the picture.
//
// A camera's MJPEG frame arrives undecoded: its picture is decoded when it is first
// asked for (shown, copied, shot, or recorded at another size), once, and a display
// smaller than the frame gets a picture decoded at a smaller DCT scale. Frames that
// are never shown are never decoded.
class VideoFrame {
public:
    VideoFrame() = default;
    // A picture that is already decoded, QImage::Format_RGB888 or RGB32; with the
    // camera's JPEG bytes when they show exactly this picture.
    explicit VideoFrame(QImage image, QByteArray mjpeg = {})
        : m_image(std::move(image)), m_mjpeg(std::move(mjpeg)) {}
    // A camera's JPEG of `jpegSize` (see CameraJpeg::inspect), shown at `size`.
    static VideoFrame fromJpeg(QByteArray jpeg, QSize jpegSize, QSize size) {
        VideoFrame frame;
        if (jpegSize == size) frame.m_mjpeg = jpeg;
        frame.m_jpeg = std::make_shared<const CameraJpeg>(std::move(jpeg), jpegSize, size);
        return frame;
    }

    // The picture at the video's size; decoded the first time it is asked for.
    QImage image() const { return m_jpeg ? m_jpeg->image() : m_image; }
    // A picture for a display of `display`: never smaller than it unless the frame is,
    // and no larger than the frame. Only a JPEG frame gives a smaller picture.
    QImage image(QSize display) const { return m_jpeg ? m_jpeg->image(display) : m_image; }
    // The video's size, known without decoding.
    QSize size() const { return m_jpeg ? m_jpeg->size() : m_image.size(); }
    // The camera's own JPEG bytes when they show exactly this picture (its size);
    // empty otherwise. A recorder writing MJPEG at this size stores these as they are.
    const QByteArray& mjpeg() const { return m_mjpeg; }

    bool isValid() const { return !size().isEmpty(); }

    // Monotonic capture time in microseconds (CLOCK_MONOTONIC), and the driver's
    // running frame number starting at 0.
    std::int64_t captureTimeUs = 0;
    std::uint64_t sequence = 0;

private:
    QImage m_image;
    QByteArray m_mjpeg;
    std::shared_ptr<const CameraJpeg> m_jpeg;
};
