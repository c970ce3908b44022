#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

// A camera's JPEG frame, decoded only when its picture is asked for: once for each
// size asked, then kept. Shared by every copy of its VideoFrame; thread-safe.
//
// A picture for a display smaller than the frame is decoded with libjpeg-turbo's DCT
// scaling at the smallest of 1/2, 1/4 and 1/8 that is not smaller than the display:
// far less work than decoding it whole and scaling it down.
class CameraJpeg {
public:
    // `jpeg` is `jpegSize` big and is shown at `size` (the stream's size; a camera may
    // send a frame of another size).
    CameraJpeg(QByteArray jpeg, QSize jpegSize, QSize size);

    // What a buffer holds without decoding it: the JPEG's size, or an empty size for a
    // buffer that cannot be shown (no JPEG header, larger than four times
    // `streamSize` and than 4K, or cut off before its end-of-image marker). Stray
    // bytes before the end marker and padding after it are allowed: webcams send them.
    // `length`, when given, gets the JPEG's own length: up to its end-of-image marker,
    // without whatever the camera put after it (zeros, or stale bytes of its buffer).
    static QSize inspect(const std::uint8_t* data, std::size_t bytes, QSize streamSize,
                         std::size_t* length = nullptr);

    // The length of the JPEG at `data` up to and including its end-of-image marker,
    // found by walking its segments and its entropy-coded data (where 0xFF 0xD9 cannot
    // occur); 0 when there is none.
    static std::size_t endOfImage(const std::uint8_t* data, std::size_t bytes);

    // Whether the JPEG decodes (a header can be sound and the rest not): a decode at
    // an eighth of its size, not kept and not counted in decodes().
    static bool decodes(const QByteArray& jpeg, QSize jpegSize);

    // Whether a JPEG that says it is `jpeg` big may be decoded for a stream of
    // `streamSize`: a header may claim any size, and the picture is allocated before
    // its data is read. Up to 4K, or four times the stream's picture.
    static bool sizeAllowed(QSize jpeg, QSize streamSize);

    // The denominator (1, 2, 4 or 8) of the smallest DCT scale of `jpeg` that is not
    // smaller than `display` in either direction.
    static int scaleFor(QSize jpeg, QSize display);

    const QByteArray& jpeg() const { return m_jpeg; }
    QSize jpegSize() const { return m_jpegSize; }
    QSize size() const { return m_size; }

    // The picture at `size()`, QImage::Format_RGB32; null when the JPEG does not decode.
    QImage image() const;
    // A picture at least `display` big (as far as the frame is), at a DCT scale of the
    // JPEG: not always `size()`'s aspect when the camera sent another size.
    QImage image(QSize display) const;

    // How many JPEG pictures have been decoded in this process to be shown or written.
    static std::uint64_t decodes() { return s_decodes; }

private:
    QImage decoded(int denominator) const; // with m_mutex held

    QByteArray m_jpeg;
    QSize m_jpegSize;
    QSize m_size;
    mutable std::mutex m_mutex;
    mutable std::map<int, QImage> m_pictures; // by scale denominator; 0: at size()
    mutable bool m_failed = false;
    static std::atomic<std::uint64_t> s_decodes;
};
