#include "JpegEncoder.h"

#include <turbojpeg.h>

namespace {

int pixelFormatOf(JpegPixels pixels) {
    switch (pixels) {
    case JpegPixels::Rgb:
        return TJPF_RGB;
    case JpegPixels::Bgr:
        return TJPF_BGR;
    case JpegPixels::Bgrx:
        return TJPF_BGRX;
    case JpegPixels::Gray:
        return TJPF_GRAY;
    }
    return TJPF_RGB;
}

int subsamplingOf(JpegSubsampling subsampling) {
    switch (subsampling) {
    case JpegSubsampling::None444:
        return TJSAMP_444;
    case JpegSubsampling::Half422:
        return TJSAMP_422;
    case JpegSubsampling::Quarter420:
        return TJSAMP_420;
    case JpegSubsampling::Gray:
        return TJSAMP_GRAY;
    }
    return TJSAMP_420;
}

} // namespace

JpegEncoder::JpegEncoder() : m_handle(makeTurboJpegCompressor()) {}

int JpegEncoder::bytesPerPixel(JpegPixels pixels) {
    return tjPixelSize[pixelFormatOf(pixels)];
}

QByteArray JpegEncoder::encode(const QImage& source, int quality) {
    if (source.isNull()) return {};
    QImage image = source;
    JpegPixels pixels = JpegPixels::Rgb;
    switch (image.format()) {
    case QImage::Format_RGB888:
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        // 0xAARRGGBB words, stored B, G, R, A on this little-endian machine.
        pixels = JpegPixels::Bgrx;
        break;
    default:
        image = image.convertToFormat(QImage::Format_RGB888);
        break;
    }
    const JpegPicture picture{image.constBits(),         image.width(), image.height(),
                              int(image.bytesPerLine()), pixels,        false};
    return encode(picture, {JpegSubsampling::Quarter420, quality, true});
}

QByteArray JpegEncoder::encode(const JpegPicture& picture, const JpegOptions& options) {
    if (!m_handle || !picture.bits || picture.width <= 0 || picture.height <= 0) return {};
    const int subsampling = subsamplingOf(options.subsampling);
    const int quality = qBound(1, options.quality, 100);
    int flags = picture.bottomUp ? TJFLAG_BOTTOMUP : 0;
    if (options.forVideo) {
        flags |= TJFLAG_NOREALLOC | TJFLAG_FASTDCT;
        const unsigned long capacity = tjBufSize(picture.width, picture.height, subsampling);
        QByteArray out(static_cast<qsizetype>(capacity), Qt::Uninitialized);
        auto* buffer = reinterpret_cast<unsigned char*>(out.data());
        unsigned long size = capacity;
        if (tjCompress2(m_handle.get(), picture.bits, picture.width, picture.bytesPerLine, picture.height,
                        pixelFormatOf(picture.pixels), &buffer, &size, subsampling, quality, flags) != 0)
            return {};
        out.truncate(static_cast<qsizetype>(size));
        return out;
    }
    // The library grows its own buffer to the file's size (a few hundred kilobytes).
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int rc =
        tjCompress2(m_handle.get(), picture.bits, picture.width, picture.bytesPerLine, picture.height,
                    pixelFormatOf(picture.pixels), &buffer, &size, subsampling, quality, flags);
    const TurboJpegBufferPtr owned(buffer);
    if (rc != 0) return {};
    return QByteArray(reinterpret_cast<const char*>(owned.get()), qsizetype(size));
}
