#pragma once

#include "FfmpegPtr.h"
#include "TurboJpegPtr.h"

#include <QImage>
#include <QSize>
#include <cstddef>
#include <cstdint>
#include <vector>

// Turns one camera buffer into the display format (QImage::Format_RGB32) in a single
// pass: MJPEG with TurboJPEG, the common YUV and RGB layouts with swscale.
//
// A frame that cannot be used gives a null image; the caller counts it as dropped.
// An MJPEG frame whose decoder only warns ("extraneous bytes before marker",
// "premature end of data") is used: many webcams send such frames all the time. An
// MJPEG frame of another size than the stream's is decoded and scaled to the
// stream's size, and then its JPEG bytes no longer stand for the picture.
//
// One converter per worker thread; not thread-safe.
class FrameConverter {
public:
    FrameConverter();
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    // Whether this pixel format (a V4L2 FourCC) is converted here.
    static bool supports(std::uint32_t fourcc);

    // The stream's format: FourCC, size and bytes per line of the first plane (0 =
    // tightly packed). False for a format that is not supported.
    bool setFormat(std::uint32_t fourcc, QSize size, std::uint32_t bytesPerLine);

    struct Result {
        QImage image;          // null: the frame is unusable
        bool jpegAsIs = false; // the buffer's JPEG bytes show exactly this picture
    };
    // `bytesReadable`: how far the buffer at `data` may be read (its length; at least
    // `bytesUsed`). swscale's vector code reads a little past the end of the rows; a
    // frame that does not leave it that much room is converted from a padded copy.
    Result convert(const std::uint8_t* data, std::size_t bytesUsed, std::size_t bytesReadable = 0);

private:
    Result decodeJpeg(const std::uint8_t* data, std::size_t bytesUsed);
    Result convertRaw(const std::uint8_t* data, std::size_t bytesUsed, std::size_t bytesReadable);

    std::uint32_t m_fourcc = 0;
    QSize m_size;
    std::uint32_t m_bytesPerLine = 0;
    TurboJpegHandlePtr m_decoder;
    SwsContextPtr m_scaler;
    std::vector<std::uint8_t> m_padded; // a frame copied with room after it
};
