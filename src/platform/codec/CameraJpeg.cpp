#include "CameraJpeg.h"

#include "TurboJpegPtr.h"

#include <algorithm>
#include <cstring>
#include <turbojpeg.h>
#include <vector>

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

std::size_t CameraJpeg::endOfImage(const std::uint8_t* data, std::size_t bytes) {
    if (!data || bytes < 4 || data[0] != 0xFF || data[1] != 0xD8) return 0;
    std::size_t i = 2;
    bool inScan = false;
    while (i + 1 < bytes) {
        if (inScan) {
            // Entropy-coded data: a 0xFF is followed by 0x00 (a stuffed byte), a restart
            // marker, another 0xFF (fill), or the marker that ends the scan.
            const void* next = std::memchr(data + i, 0xFF, bytes - i - 1);
            if (!next) return 0;
            i = std::size_t(static_cast<const std::uint8_t*>(next) - data);
            const std::uint8_t m = data[i + 1];
            if (m == 0x00 || (m >= 0xD0 && m <= 0xD7)) {
                i += 2;
                continue;
            }
            if (m == 0xFF) {
                ++i;
                continue;
            }
            inScan = false;
        }
        if (data[i] != 0xFF) { // bytes between segments: skipped, as libjpeg does
            ++i;
            continue;
        }
        while (i + 1 < bytes && data[i + 1] == 0xFF) // fill bytes before a marker
            ++i;
        if (i + 1 >= bytes) return 0;
        const std::uint8_t marker = data[i + 1];
        i += 2;
        if (marker == 0xD9) return i;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue; // no length
        if (i + 2 > bytes) return 0;
        const std::size_t length = std::size_t(data[i]) << 8 | data[i + 1];
        if (length < 2) return 0;
        i += length;
        if (marker == 0xDA) inScan = true; // start of scan: its data follows the header
    }
    return 0;
}

bool CameraJpeg::decodes(const QByteArray& jpeg, QSize jpegSize) {
    tjhandle decoder = threadDecoder();
    if (!decoder || jpegSize.isEmpty()) return false;
    const int width = (jpegSize.width() + 7) / 8, height = (jpegSize.height() + 7) / 8;
    std::vector<unsigned char> picture(std::size_t(width) * std::size_t(height) * 4);
    return tjDecompress2(decoder, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                         static_cast<unsigned long>(jpeg.size()), picture.data(), width, width * 4, height,
                         TJPF_BGRX, TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE) == 0 ||
           tjGetErrorCode(decoder) == TJERR_WARNING;
}

QSize CameraJpeg::inspect(const std::uint8_t* data, std::size_t bytes, QSize streamSize,
                          std::size_t* length) {
    tjhandle decoder = threadDecoder();
    if (!decoder || !data || bytes < 4) return {};
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(decoder, data, static_cast<unsigned long>(bytes), &width, &height, &subsampling,
                            &colourspace) != 0)
        return {};
    if (!sizeAllowed(QSize(width, height), streamSize)) return {};
    // The end-of-image marker, before any padding: entropy-coded data never holds
    // 0xFF 0xD9, so a buffer cut off in its scan has none.
    const std::size_t end = endOfImage(data, bytes);
    if (end == 0) return {};
    if (length) *length = end;
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
