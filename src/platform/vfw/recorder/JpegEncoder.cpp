#include "JpegEncoder.h"

#include <turbojpeg.h>

void JpegEncoder::HandleDeleter::operator()(void* handle) const {
    tjDestroy(handle);
}

JpegEncoder::JpegEncoder() : m_handle(tjInitCompress()) {}

QByteArray JpegEncoder::encode(const QImage& source, int quality) {
    if (!m_handle || source.isNull()) return {};
    QImage image = source;
    int pixelFormat = TJPF_RGB;
    switch (image.format()) {
    case QImage::Format_RGB888:
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        // 0xAARRGGBB words, stored B, G, R, A on this little-endian machine.
        pixelFormat = TJPF_BGRX;
        break;
    default:
        image = image.convertToFormat(QImage::Format_RGB888);
        break;
    }
    const unsigned long capacity = tjBufSize(image.width(), image.height(), TJSAMP_420);
    QByteArray out(static_cast<qsizetype>(capacity), Qt::Uninitialized);
    auto* buffer = reinterpret_cast<unsigned char*>(out.data());
    unsigned long size = capacity;
    const int rc = tjCompress2(m_handle.get(), image.constBits(), image.width(), int(image.bytesPerLine()),
                               image.height(), pixelFormat, &buffer, &size, TJSAMP_420,
                               qBound(1, quality, 100), TJFLAG_NOREALLOC | TJFLAG_FASTDCT);
    if (rc != 0) return {};
    out.truncate(static_cast<qsizetype>(size));
    return out;
}
