#pragma once

#include "FfmpegPtr.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>

// Turns a movie decoder's pictures into QImage::Format_RGB32 with swscale, and says
// which layout a movie's pictures have. Pixel layouts are named as FFmpeg names them
// ("yuv422p", "bgra"), so that the caller needs no FFmpeg header.
//
// The picture it gives has rows on 64-byte boundaries and 64 bytes of room after the
// last row (for swscale's vector code), over a buffer of its own: one shown earlier
// may still be painted from while the next is converted.
//
// One converter per thread; not thread-safe.
class MovieFrameConverter {
public:
    MovieFrameConverter();
    ~MovieFrameConverter();
    MovieFrameConverter(const MovieFrameConverter&) = delete;
    MovieFrameConverter& operator=(const MovieFrameConverter&) = delete;

    // The pixel layout FFmpeg decodes the first video stream of `path` into; empty
    // when the file does not open or has no video.
    static QString probeStreamFormat(const QString& path);

    // How a picture in `streamFormat` is read when `planes` of its planes are handed
    // over: in that layout, or the same without its transparency plane when that one
    // is missing. Empty when it cannot be read: a palette (never handed over), a plane
    // missing that is not transparency, or a layout swscale does not read.
    static QString readableAs(const QString& streamFormat, int planes);

    // Converts one picture of `size` in `format` whose planes (up to four; the
    // unused ones null) and their bytes per line are given. Null when the layout is
    // unknown or the first plane is missing.
    QImage convert(const std::uint8_t* const planes[4], const int strides[4], QSize size,
                   const QString& format);

private:
    SwsContextPtr m_scaler;
};
