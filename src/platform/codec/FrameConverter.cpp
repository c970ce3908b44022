#include "FrameConverter.h"

#include "CameraJpeg.h"

#include <algorithm>
#include <cstring>

#include <linux/videodev2.h>
#include <turbojpeg.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

// How far past a row's end swscale's vector code may read (a few pixels' worth;
// FFmpeg pads its own buffers by as much).
constexpr std::size_t kScalerOverread = 64;

// How a raw V4L2 layout maps onto swscale: the source format and the planes.
struct RawLayout {
    std::uint32_t fourcc;
    AVPixelFormat format;
    int bytesPerPixel; // of the first plane, for its minimum line length
    enum Chroma { None, Packed420, Planar420, Planar422 } chroma;
    bool swapChroma; // YVU: V before U
};

constexpr RawLayout kLayouts[] = {
    {V4L2_PIX_FMT_YUYV, AV_PIX_FMT_YUYV422, 2, RawLayout::None, false},
    {V4L2_PIX_FMT_UYVY, AV_PIX_FMT_UYVY422, 2, RawLayout::None, false},
    {V4L2_PIX_FMT_YVYU, AV_PIX_FMT_YVYU422, 2, RawLayout::None, false},
    {V4L2_PIX_FMT_NV12, AV_PIX_FMT_NV12, 1, RawLayout::Packed420, false},
    {V4L2_PIX_FMT_NV21, AV_PIX_FMT_NV21, 1, RawLayout::Packed420, false},
    {V4L2_PIX_FMT_YUV420, AV_PIX_FMT_YUV420P, 1, RawLayout::Planar420, false},
    {V4L2_PIX_FMT_YVU420, AV_PIX_FMT_YUV420P, 1, RawLayout::Planar420, true},
    {V4L2_PIX_FMT_YUV422P, AV_PIX_FMT_YUV422P, 1, RawLayout::Planar422, false},
    {V4L2_PIX_FMT_RGB24, AV_PIX_FMT_RGB24, 3, RawLayout::None, false},
    {V4L2_PIX_FMT_BGR24, AV_PIX_FMT_BGR24, 3, RawLayout::None, false},
    {V4L2_PIX_FMT_RGB565, AV_PIX_FMT_RGB565LE, 2, RawLayout::None, false},
    {V4L2_PIX_FMT_GREY, AV_PIX_FMT_GRAY8, 1, RawLayout::None, false},
};

const RawLayout* layoutOf(std::uint32_t fourcc) {
    for (const RawLayout& layout : kLayouts)
        if (layout.fourcc == fourcc) return &layout;
    return nullptr;
}

} // namespace

FrameConverter::FrameConverter() = default;
FrameConverter::~FrameConverter() = default;

bool FrameConverter::supports(std::uint32_t fourcc) {
    return fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG || layoutOf(fourcc);
}

bool FrameConverter::setFormat(std::uint32_t fourcc, QSize size, std::uint32_t bytesPerLine) {
    m_fourcc = 0;
    m_scaler.reset();
    if (size.isEmpty() || !supports(fourcc)) return false;
    m_size = size;
    if (fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG) {
        if (!m_decoder) m_decoder = makeTurboJpegDecompressor();
        if (!m_decoder) return false;
    } else {
        const RawLayout* layout = layoutOf(fourcc);
        const auto minimum = std::uint32_t(size.width() * layout->bytesPerPixel);
        m_bytesPerLine = std::max(bytesPerLine, minimum);
        // Same size in and out: swscale only converts (fast bilinear has its quickest
        // path for packed YUV: 1080p YUYV in about 7 ms). Limited-range BT.601 is what
        // cameras send and what swscale assumes by default.
        m_scaler.reset(sws_getContext(size.width(), size.height(), layout->format, size.width(),
                                      size.height(), AV_PIX_FMT_RGB32, SWS_FAST_BILINEAR, nullptr, nullptr,
                                      nullptr));
        if (!m_scaler) return false;
    }
    m_fourcc = fourcc;
    return true;
}

FrameConverter::Result FrameConverter::convert(const std::uint8_t* data, std::size_t bytesUsed,
                                               std::size_t bytesReadable) {
    if (!m_fourcc || !data || bytesUsed == 0) return {};
    if (m_fourcc == V4L2_PIX_FMT_MJPEG || m_fourcc == V4L2_PIX_FMT_JPEG) return decodeJpeg(data, bytesUsed);
    return convertRaw(data, bytesUsed, std::max(bytesUsed, bytesReadable));
}

FrameConverter::Result FrameConverter::decodeJpeg(const std::uint8_t* data, std::size_t bytesUsed) {
    tjhandle decoder = m_decoder.get();
    const auto size = static_cast<unsigned long>(bytesUsed);
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    // The header first: a camera may send a frame of another size than negotiated.
    if (tjDecompressHeader3(decoder, data, size, &width, &height, &subsampling, &colourspace) != 0) return {};
    if (!CameraJpeg::sizeAllowed(QSize(width, height), m_size)) return {};
    Result result;
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    if (tjDecompress2(decoder, data, size, image.bits(), width, int(image.bytesPerLine()), height, TJPF_BGRX,
                      TJFLAG_FASTDCT) != 0) {
        // A warning still gives the whole picture (a cut-off frame ends in grey).
        if (tjGetErrorCode(decoder) != TJERR_WARNING) return {};
    }
    if (image.size() == m_size) {
        result.image = std::move(image);
        result.jpegAsIs = true;
    } else {
        result.image = image.scaled(m_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return result;
}

FrameConverter::Result FrameConverter::convertRaw(const std::uint8_t* data, std::size_t bytesUsed,
                                                  std::size_t bytesReadable) {
    const RawLayout* layout = layoutOf(m_fourcc);
    const int h = m_size.height();
    const std::size_t lumaBytes = std::size_t(m_bytesPerLine) * std::size_t(h);
    const std::uint8_t* planes[4] = {data, nullptr, nullptr, nullptr};
    int strides[4] = {int(m_bytesPerLine), 0, 0, 0};
    std::size_t needed = lumaBytes;
    switch (layout->chroma) {
    case RawLayout::None:
        break;
    case RawLayout::Packed420:
        planes[1] = data + lumaBytes;
        strides[1] = int(m_bytesPerLine);
        needed += std::size_t(m_bytesPerLine) * std::size_t((h + 1) / 2);
        break;
    case RawLayout::Planar420:
    case RawLayout::Planar422: {
        const int chromaRows = layout->chroma == RawLayout::Planar420 ? (h + 1) / 2 : h;
        const std::size_t chromaStride = m_bytesPerLine / 2;
        const std::size_t chromaBytes = chromaStride * std::size_t(chromaRows);
        planes[1] = data + lumaBytes;
        planes[2] = data + lumaBytes + chromaBytes;
        strides[1] = strides[2] = int(chromaStride);
        if (layout->swapChroma) std::swap(planes[1], planes[2]);
        needed += 2 * chromaBytes;
        break;
    }
    }
    if (bytesUsed < needed) return {}; // a short frame: part of the picture is missing
    // A camera's buffer often ends exactly with the picture, at the end of a page.
    if (bytesReadable < needed + kScalerOverread) {
        m_padded.resize(needed + kScalerOverread);
        std::memcpy(m_padded.data(), data, needed);
        for (const std::uint8_t*& plane : planes)
            if (plane) plane = m_padded.data() + (plane - data);
    }
    Result result;
    result.image = QImage(m_size, QImage::Format_RGB32);
    if (result.image.isNull()) return {};
    std::uint8_t* target[4] = {result.image.bits(), nullptr, nullptr, nullptr};
    int targetStrides[4] = {int(result.image.bytesPerLine()), 0, 0, 0};
    sws_scale(m_scaler.get(), planes, strides, 0, h, target, targetStrides);
    return result;
}
