#include "CameraJpeg.h"

#include "TurboJpegPtr.h"

#include <algorithm>
#include <turbojpeg.h>

std::atomic<std::uint64_t> CameraJpeg::s_decodes{0};

namespace {

// A JPEG larger than this (and than four times the stream's picture) is not decoded.
constexpr std::int64_t kMaxJpegPixels = 3840 * 2160;

// One decompressor for each thread that decodes (the camera's worker for headers,
// the window for its paint, the recorder's encoders).
tjhandle threadDecoder() {
    thread_local const TurboJpegHandlePtr decoder = makeTurboJpegDecompressor();
    return decoder.get();
}

} // namespace

CameraJpeg::CameraJpeg(QByteArray jpeg, QSize jpegSize, QSize size)
    : m_jpeg(std::move(jpeg)), m_jpegSize(jpegSize), m_size(size) {}

QSize CameraJpeg::inspect(const std::uint8_t* data, std::size_t bytes, QSize streamSize) {
    tjhandle decoder = threadDecoder();
    if (!decoder || !data || bytes < 4) return {};
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(decoder, data, static_cast<unsigned long>(bytes), &width, &height, &subsampling,
                            &colourspace) != 0)
        return {};
    if (!sizeAllowed(QSize(width, height), streamSize)) return {};
    // The end-of-image marker, before any padding: entropy-coded data never holds
    // 0xFF 0xD9, so a buffer cut off in its scan cannot end with it.
    std::size_t end = bytes;
    while (end > 2 && data[end - 1] == 0x00)
        --end;
    if (end < 2 || data[end - 2] != 0xFF || data[end - 1] != 0xD9) return {};
    return QSize(width, height);
}

bool CameraJpeg::sizeAllowed(QSize jpeg, QSize streamSize) {
    const std::int64_t limit =
        std::max(kMaxJpegPixels, 4 * std::int64_t(streamSize.width()) * streamSize.height());
    return jpeg.width() > 0 && jpeg.height() > 0 && std::int64_t(jpeg.width()) * jpeg.height() <= limit;
}

int CameraJpeg::scaleFor(QSize jpeg, QSize display) {
    for (int denominator : {8, 4, 2}) {
        const int w = (jpeg.width() + denominator - 1) / denominator;
        const int h = (jpeg.height() + denominator - 1) / denominator;
        if (w >= display.width() && h >= display.height()) return denominator;
    }
    return 1;
}

QImage CameraJpeg::image() const {
    std::lock_guard lock(m_mutex);
    if (const auto it = m_pictures.find(0); it != m_pictures.end()) return it->second;
    QImage picture = decoded(1);
    if (!picture.isNull() && picture.size() != m_size)
        picture = picture.scaled(m_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_pictures[0] = picture;
    return picture;
}

QImage CameraJpeg::image(QSize display) const {
    const int denominator = scaleFor(m_jpegSize, display);
    if (denominator == 1) return image();
    std::lock_guard lock(m_mutex);
    return decoded(denominator);
}

QImage CameraJpeg::decoded(int denominator) const {
    if (const auto it = m_pictures.find(denominator); it != m_pictures.end()) return it->second;
    if (m_failed) return {};
    tjhandle decoder = threadDecoder();
    const int width = (m_jpegSize.width() + denominator - 1) / denominator;
    const int height = (m_jpegSize.height() + denominator - 1) / denominator;
    QImage picture(width, height, QImage::Format_RGB32);
    if (!decoder || picture.isNull()) return {};
    ++s_decodes;
    const auto* data = reinterpret_cast<const unsigned char*>(m_jpeg.constData());
    // A picture for a small display may take the quicker, blockier chroma upsampling.
    const int flags = TJFLAG_FASTDCT | (denominator > 1 ? TJFLAG_FASTUPSAMPLE : 0);
    if (tjDecompress2(decoder, data, static_cast<unsigned long>(m_jpeg.size()), picture.bits(), width,
                      int(picture.bytesPerLine()), height, TJPF_BGRX, flags) != 0 &&
        tjGetErrorCode(decoder) != TJERR_WARNING) {
        // Only warnings ("extraneous bytes before marker") still give the whole picture.
        m_failed = true;
        return {};
    }
    m_pictures[denominator] = picture;
    return picture;
}
