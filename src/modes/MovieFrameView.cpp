#include "MovieFrameView.h"

#include <QFile>
#include <QPaintEvent>
#include <QPainter>
#include <QVideoFrame>
#include <QVideoSink>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

// Rows of the converted picture start on 64-byte boundaries, and the buffer ends
// 64 bytes after the last row, for swscale's vector code.
constexpr int kAlign = 64;

struct SourceFormat {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    bool swapChroma = false; // the frame's second and third planes are V, then U
};

using QtFormat = QVideoFrameFormat::PixelFormat;

// Qt's pixel formats as FFmpeg names their memory layout (byte order: Qt's ARGB8888
// is the bytes A, R, G, B). `named`: the name Qt 6.4's FFmpeg backend gives a
// decoder's picture in that layout; a layout it has no name for it passes on under a
// stand-in name (RGBA8888, YUV420P or P016), unconverted.
struct FormatPair {
    QtFormat qt;
    AVPixelFormat av;
    bool named;
    bool swapChroma = false;
};
constexpr FormatPair kFormats[] = {
    {QVideoFrameFormat::Format_ARGB8888, AV_PIX_FMT_ARGB, true},
    {QVideoFrameFormat::Format_ARGB8888_Premultiplied, AV_PIX_FMT_ARGB, false},
    {QVideoFrameFormat::Format_XRGB8888, AV_PIX_FMT_0RGB, true},
    {QVideoFrameFormat::Format_BGRA8888, AV_PIX_FMT_BGRA, true},
    {QVideoFrameFormat::Format_BGRA8888_Premultiplied, AV_PIX_FMT_BGRA, false},
    {QVideoFrameFormat::Format_BGRX8888, AV_PIX_FMT_BGR0, true},
    {QVideoFrameFormat::Format_ABGR8888, AV_PIX_FMT_ABGR, true},
    {QVideoFrameFormat::Format_XBGR8888, AV_PIX_FMT_0BGR, true},
    {QVideoFrameFormat::Format_RGBA8888, AV_PIX_FMT_RGBA, true},
    {QVideoFrameFormat::Format_RGBX8888, AV_PIX_FMT_RGB0, true},
    {QVideoFrameFormat::Format_YUV420P, AV_PIX_FMT_YUV420P, true},
    {QVideoFrameFormat::Format_YV12, AV_PIX_FMT_YUV420P, false, true},
    {QVideoFrameFormat::Format_YUV422P, AV_PIX_FMT_YUV422P, true},
    {QVideoFrameFormat::Format_YUV420P10, AV_PIX_FMT_YUV420P10LE, true},
    {QVideoFrameFormat::Format_UYVY, AV_PIX_FMT_UYVY422, true},
    {QVideoFrameFormat::Format_YUYV, AV_PIX_FMT_YUYV422, true},
    {QVideoFrameFormat::Format_NV12, AV_PIX_FMT_NV12, true},
    {QVideoFrameFormat::Format_NV21, AV_PIX_FMT_NV21, true},
    {QVideoFrameFormat::Format_P010, AV_PIX_FMT_P010LE, true},
    {QVideoFrameFormat::Format_P016, AV_PIX_FMT_P016LE, true},
    {QVideoFrameFormat::Format_Y8, AV_PIX_FMT_GRAY8, true},
    {QVideoFrameFormat::Format_Y16, AV_PIX_FMT_GRAY16LE, true},
};

// How a frame Qt names `format` is laid out; NONE for one this view does not read.
SourceFormat sourceFormat(QtFormat format) {
    for (const FormatPair& pair : kFormats)
        if (pair.qt == format) return {pair.av, pair.swapChroma};
    return {};
}

// The name Qt 6.4's FFmpeg backend gives a decoder's picture in `format`; Invalid for
// one it passes on under a stand-in name.
QtFormat qtName(AVPixelFormat format) {
    for (const FormatPair& pair : kFormats)
        if (pair.named && pair.av == format) return pair.qt;
    return QVideoFrameFormat::Format_Invalid;
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

int MovieFrameView::probeStreamFormat(const QString& path) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, QFile::encodeName(path).constData(), nullptr, nullptr) < 0) return -1;
    int format = -1;
    if (avformat_find_stream_info(input, nullptr) >= 0) {
        const int stream = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (stream >= 0) format = input->streams[stream]->codecpar->format;
    }
    avformat_close_input(&input);
    return format;
}

void MovieFrameView::setStreamFormat(int avPixelFormat) {
    m_streamFormat = avPixelFormat;
    m_picture = QImage();
    m_problem.clear();
    update();
}

MovieFrameView::MovieFrameView(QWidget* parent) : QWidget(parent), m_sink(new QVideoSink(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(m_sink, &QVideoSink::videoFrameChanged, this, &MovieFrameView::onFrame);
}

MovieFrameView::~MovieFrameView() {
    sws_freeContext(m_scaler);
}

QImage MovieFrameView::convert(const QVideoFrame& source) {
    SourceFormat format = sourceFormat(source.pixelFormat());
    const QSize size = source.size();
    const auto stream = AVPixelFormat(m_streamFormat);
    const AVPixFmtDescriptor* streamDesc = m_streamFormat >= 0 ? av_pix_fmt_desc_get(stream) : nullptr;
    if (streamDesc && qtName(stream) != source.pixelFormat()) {
        // The decoder's own picture under a stand-in name: read it as what it is, when
        // every plane it has is handed over (a palette is not: the stand-in has one plane).
        // A transparency plane that is not handed over is done without.
        AVPixelFormat readAs = stream;
        if (av_pix_fmt_count_planes(stream) > source.planeCount()) readAs = withoutAlphaPlane(stream);
        if (readAs == AV_PIX_FMT_NONE || !sws_isSupportedInput(readAs) ||
            (streamDesc->flags & AV_PIX_FMT_FLAG_PAL) ||
            av_pix_fmt_count_planes(readAs) > source.planeCount()) {
            m_problem = tr("Pictures in the pixel format %1 cannot be shown here.")
                            .arg(QString::fromLatin1(streamDesc->name));
            return {};
        }
        format = {readAs};
    }
    m_problem.clear();
    if (format.format == AV_PIX_FMT_NONE || size.isEmpty()) return {};
    QVideoFrame frame = source;
    if (!frame.map(QVideoFrame::ReadOnly)) return {};
    const std::uint8_t* planes[4] = {};
    int strides[4] = {};
    for (int i = 0; i < frame.planeCount() && i < 4; ++i) {
        planes[i] = frame.bits(i);
        strides[i] = frame.bytesPerLine(i);
    }
    if (format.swapChroma) {
        std::swap(planes[1], planes[2]);
        std::swap(strides[1], strides[2]);
    }
    m_scaler = sws_getCachedContext(m_scaler, size.width(), size.height(), format.format, size.width(),
                                    size.height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    QImage picture;
    if (m_scaler && planes[0]) {
        const int stride = (size.width() * 4 + kAlign - 1) / kAlign * kAlign;
        // A new buffer for each picture: the one shown last may still be painted from.
        auto buffer = std::make_shared<std::vector<std::uint8_t>>(
            std::size_t(stride) * std::size_t(size.height()) + kAlign);
        std::uint8_t* target[4] = {buffer->data(), nullptr, nullptr, nullptr};
        const int targetStrides[4] = {stride, 0, 0, 0};
        sws_scale(m_scaler, planes, strides, 0, size.height(), target, targetStrides);
        auto* keep = new std::shared_ptr<std::vector<std::uint8_t>>(buffer);
        picture = QImage(
            buffer->data(), size.width(), size.height(), stride, QImage::Format_RGB32,
            [](void* info) { delete static_cast<std::shared_ptr<std::vector<std::uint8_t>>*>(info); }, keep);
    }
    frame.unmap();
    return picture;
}

void MovieFrameView::onFrame(const QVideoFrame& frame) {
    if (!frame.isValid()) return;
    const QImage picture = convert(frame);
    if (picture.isNull() && m_problem.isEmpty()) return;
    m_picture = picture;
    update();
}

void MovieFrameView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    if (!m_problem.isEmpty()) {
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, m_problem);
        return;
    }
    if (m_picture.isNull()) return;
    const QSize fitted = m_picture.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_picture);
}
