#include "FfmpegVideoEncoder.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {
// The pixel format an encoder is fed with: BGR24 for uncompressed frames (the
// classic RGB AVI), else 4:2:0 where it takes it (the common case), else the first
// colour format the scaler can produce, else the first it can produce.
AVPixelFormat chooseFormat(const AVCodec* codec) {
    if (codec->id == AV_CODEC_ID_RAWVIDEO) return AV_PIX_FMT_BGR24;
    if (!codec->pix_fmts) return AV_PIX_FMT_YUV420P;
    for (AVPixelFormat wanted : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGR24})
        for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
            if (*f == wanted) return *f;
    // A colour format before a grey one (DPX lists grey first).
    for (const bool colourOnly : {true, false})
        for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
            const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(*f);
            if (sws_isSupportedOutput(*f) && (!colourOnly || (desc && desc->nb_components >= 3))) return *f;
        }
    return codec->pix_fmts[0];
}
} // namespace

bool FfmpegVideoEncoder::open(const QString& name, int width, int height, AVRational frameRate, int quality) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name.toLatin1().constData());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) {
        m_error = QStringLiteral("The video compressor '%1' is not installed").arg(name);
        return false;
    }
    m_ctx.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = m_ctx.get();
    c->width = width;
    c->height = height;
    c->time_base = av_inv_q(frameRate);
    c->framerate = frameRate;
    c->pix_fmt = chooseFormat(codec);
    c->max_b_frames = 0;
    c->gop_size = 12;
    c->thread_count = 0;
    if (c->pix_fmt == AV_PIX_FMT_YUV420P || c->pix_fmt == AV_PIX_FMT_YUVJ420P)
        c->color_range = AVCOL_RANGE_JPEG;
    // Quality 100 is quantiser 2, quality 1 is 31, the range of the MPEG-style encoders.
    const int q = 2 + (100 - qBound(1, quality, 100)) * 29 / 99;
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * q;
    const int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(rc, text, sizeof text);
        m_error = QStringLiteral("The video compressor '%1' cannot be opened: %2").arg(name, text);
        m_ctx.reset();
        return false;
    }
    const AVCodecDescriptor* desc = avcodec_descriptor_get(codec->id);
    m_intraOnly = desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY);
    m_frame.reset(av_frame_alloc());
    m_frame->format = c->pix_fmt;
    m_frame->width = width;
    m_frame->height = height;
    m_frame->color_range = c->color_range;
    if (av_frame_get_buffer(m_frame.get(), 0) < 0) {
        m_error = QStringLiteral("Out of memory for video buffers");
        return false;
    }
    m_packet.reset(av_packet_alloc());
    return true;
}

bool FfmpegVideoEncoder::encode(const QImage& source, std::int64_t pts, const PacketSink& sink) {
    if (!m_ctx) return false;
    // The scaler takes the picture's own layout and size: it converts and scales in
    // one pass. RGB32 is 0xffRRGGBB in a 32-bit word.
    QImage image = source;
    AVPixelFormat layout = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_0RGB;
    if (image.format() == QImage::Format_RGB888)
        layout = AV_PIX_FMT_RGB24;
    else if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    m_sws.reset(sws_getCachedContext(m_sws.release(), image.width(), image.height(), layout, m_ctx->width,
                                     m_ctx->height, m_ctx->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!m_sws || av_frame_make_writable(m_frame.get()) < 0) return false;
    // Its vector code reads whole blocks, past the end of a row: inside the picture
    // that is the next row, after the last one it would be past the picture's memory.
    // It reads a copy that has room after it.
    const std::size_t bytes = std::size_t(image.sizeInBytes());
    m_source.resize(bytes + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(m_source.data(), image.constBits(), bytes);
    const std::uint8_t* src[1] = {m_source.data()};
    const int srcStride[1] = {int(image.bytesPerLine())};
    sws_scale(m_sws.get(), src, srcStride, 0, image.height(), m_frame->data, m_frame->linesize);
    m_frame->pts = pts;
    m_frame->quality = m_ctx->global_quality;
    if (avcodec_send_frame(m_ctx.get(), m_frame.get()) < 0) return false;
    return drain(sink);
}

bool FfmpegVideoEncoder::flush(const PacketSink& sink) {
    if (!m_ctx) return false;
    avcodec_send_frame(m_ctx.get(), nullptr);
    return drain(sink);
}

bool FfmpegVideoEncoder::drain(const PacketSink& sink) {
    for (;;) {
        const int rc = avcodec_receive_packet(m_ctx.get(), m_packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) return false;
        if (!sink(m_packet.get())) return false;
    }
}
