#include "MovieFrameConverter.h"

#include <QFile>
#include <memory>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

// Rows of the converted picture start on 64-byte boundaries, and the buffer ends
// 64 bytes after the last row, for swscale's vector code.
constexpr int kAlign = 64;

AVPixelFormat formatNamed(const QString& name) {
    return name.isEmpty() ? AV_PIX_FMT_NONE : av_get_pix_fmt(name.toLatin1().constData());
}

QString nameOf(AVPixelFormat format) {
    const char* name = av_get_pix_fmt_name(format);
    return name ? QString::fromLatin1(name) : QString();
}

// The same layout without its last (transparency) plane, or NONE.
AVPixelFormat withoutAlphaPlane(AVPixelFormat format) {
    switch (format) {
    case AV_PIX_FMT_YUVA420P:
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVA422P:
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVA444P:
        return AV_PIX_FMT_YUV444P;
    default:
        return AV_PIX_FMT_NONE;
    }
}

} // namespace

MovieFrameConverter::MovieFrameConverter() = default;
MovieFrameConverter::~MovieFrameConverter() = default;

QString MovieFrameConverter::probeStreamFormat(const QString& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0) return {};
    const AvFormatInputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) return {};
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) return {};
    return nameOf(AVPixelFormat(input->streams[stream]->codecpar->format));
}

QString MovieFrameConverter::readableAs(const QString& streamFormat, int planes) {
    const AVPixelFormat stream = formatNamed(streamFormat);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(stream);
    if (!desc) return {};
    AVPixelFormat readAs = stream;
    if (av_pix_fmt_count_planes(stream) > planes) readAs = withoutAlphaPlane(stream);
    if (readAs == AV_PIX_FMT_NONE || !sws_isSupportedInput(readAs) || (desc->flags & AV_PIX_FMT_FLAG_PAL) ||
        av_pix_fmt_count_planes(readAs) > planes)
        return {};
    return nameOf(readAs);
}

QImage MovieFrameConverter::convert(const std::uint8_t* const planes[4], const int strides[4], QSize size,
                                    const QString& format) {
    const AVPixelFormat source = formatNamed(format);
    if (source == AV_PIX_FMT_NONE || size.isEmpty()) return {};
    m_scaler.reset(sws_getCachedContext(m_scaler.release(), size.width(), size.height(), source, size.width(),
                                        size.height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr,
                                        nullptr));
    if (!m_scaler || !planes[0]) return {};
    const int stride = (size.width() * 4 + kAlign - 1) / kAlign * kAlign;
    // A new buffer for each picture: the one shown last may still be painted from.
    auto buffer = std::make_shared<std::vector<std::uint8_t>>(
        std::size_t(stride) * std::size_t(size.height()) + kAlign);
    std::uint8_t* target[4] = {buffer->data(), nullptr, nullptr, nullptr};
    const int targetStrides[4] = {stride, 0, 0, 0};
    sws_scale(m_scaler.get(), planes, strides, 0, size.height(), target, targetStrides);
    auto* keep = new std::shared_ptr<std::vector<std::uint8_t>>(buffer);
    return QImage(
        buffer->data(), size.width(), size.height(), stride, QImage::Format_RGB32,
        [](void* info) { delete static_cast<std::shared_ptr<std::vector<std::uint8_t>>*>(info); }, keep);
}
