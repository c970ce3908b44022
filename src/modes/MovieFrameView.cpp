#include "MovieFrameView.h"

#include "MovieFrameConverter.h"

#include <QPaintEvent>
#include <QPainter>
#include <QVideoFrame>
#include <QVideoSink>

namespace {

struct SourceFormat {
    const char* format = nullptr; // as FFmpeg names it; null: not read here
    bool swapChroma = false;      // the frame's second and third planes are V, then U
};

using QtFormat = QVideoFrameFormat::PixelFormat;

// Qt's pixel formats and FFmpeg's name of their memory layout (byte order: Qt's
// ARGB8888 is the bytes A, R, G, B). `named`: the name Qt 6.4's FFmpeg backend gives a
// decoder's picture in that layout; a layout it has no name for it passes on under a
// stand-in name (RGBA8888, YUV420P or P016), unconverted.
struct FormatPair {
    QtFormat qt;
    const char* av;
    bool named;
    bool swapChroma = false;
};
constexpr FormatPair kFormats[] = {
    {QVideoFrameFormat::Format_ARGB8888, "argb", true},
    {QVideoFrameFormat::Format_ARGB8888_Premultiplied, "argb", false},
    {QVideoFrameFormat::Format_XRGB8888, "0rgb", true},
    {QVideoFrameFormat::Format_BGRA8888, "bgra", true},
    {QVideoFrameFormat::Format_BGRA8888_Premultiplied, "bgra", false},
    {QVideoFrameFormat::Format_BGRX8888, "bgr0", true},
    {QVideoFrameFormat::Format_ABGR8888, "abgr", true},
    {QVideoFrameFormat::Format_XBGR8888, "0bgr", true},
    {QVideoFrameFormat::Format_RGBA8888, "rgba", true},
    {QVideoFrameFormat::Format_RGBX8888, "rgb0", true},
    {QVideoFrameFormat::Format_YUV420P, "yuv420p", true},
    {QVideoFrameFormat::Format_YV12, "yuv420p", false, true},
    {QVideoFrameFormat::Format_YUV422P, "yuv422p", true},
    {QVideoFrameFormat::Format_YUV420P10, "yuv420p10le", true},
    {QVideoFrameFormat::Format_UYVY, "uyvy422", true},
    {QVideoFrameFormat::Format_YUYV, "yuyv422", true},
    {QVideoFrameFormat::Format_NV12, "nv12", true},
    {QVideoFrameFormat::Format_NV21, "nv21", true},
    {QVideoFrameFormat::Format_P010, "p010le", true},
    {QVideoFrameFormat::Format_P016, "p016le", true},
    {QVideoFrameFormat::Format_Y8, "gray", true},
    {QVideoFrameFormat::Format_Y16, "gray16le", true},
};

// How a frame Qt names `format` is laid out; no format for one this view does not read.
SourceFormat sourceFormat(QtFormat format) {
    for (const FormatPair& pair : kFormats)
        if (pair.qt == format) return {pair.av, pair.swapChroma};
    return {};
}

// The name Qt 6.4's FFmpeg backend gives a decoder's picture in `format` (FFmpeg's
// name); Invalid for one it passes on under a stand-in name.
QtFormat qtName(const QString& format) {
    for (const FormatPair& pair : kFormats)
        if (pair.named && format == QLatin1String(pair.av)) return pair.qt;
    return QVideoFrameFormat::Format_Invalid;
}

} // namespace

void MovieFrameView::setStreamFormat(const QString& format) {
    m_streamFormat = format;
    m_picture = QImage();
    m_problem.clear();
    update();
}

MovieFrameView::MovieFrameView(QWidget* parent)
    : QWidget(parent), m_sink(new QVideoSink(this)), m_converter(std::make_unique<MovieFrameConverter>()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(m_sink, &QVideoSink::videoFrameChanged, this, &MovieFrameView::onFrame);
}

MovieFrameView::~MovieFrameView() = default;

QImage MovieFrameView::convert(const QVideoFrame& source) {
    SourceFormat format = sourceFormat(source.pixelFormat());
    const QSize size = source.size();
    QByteArray readAs;
    if (!m_streamFormat.isEmpty() && qtName(m_streamFormat) != source.pixelFormat()) {
        // The decoder's own picture under a stand-in name: read it as what it is, when
        // every plane it has is handed over (a palette is not: the stand-in has one plane).
        // A transparency plane that is not handed over is done without.
        readAs = MovieFrameConverter::readableAs(m_streamFormat, source.planeCount()).toLatin1();
        if (readAs.isEmpty()) {
            m_problem = tr("Pictures in the pixel format %1 cannot be shown here.").arg(m_streamFormat);
            return {};
        }
        format = {readAs.constData()};
    }
    m_problem.clear();
    if (!format.format || size.isEmpty()) return {};
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
    const QImage picture = m_converter->convert(planes, strides, size, QLatin1String(format.format));
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
