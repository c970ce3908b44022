#include "AviWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <cmath>

namespace {
QString avErrorText(int averror) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return QString::fromLocal8Bit(text);
}
} // namespace

AviWriter::~AviWriter() {
    if (m_ctx) finish();
}

AVRational AviWriter::frameRateFor(std::int64_t usPerFrame) {
    if (usPerFrame <= 0) return {15, 1};
    const std::int64_t fps = std::llround(1e6 / double(usPerFrame));
    if (fps > 0 && std::llround(1e6 / double(fps)) == usPerFrame) return {int(fps), 1};
    const std::int64_t ntsc = std::llround(1e6 * 1.001 / double(usPerFrame));
    if (ntsc > 0 && std::llround(1e6 * 1001.0 / double(ntsc * 1000)) == usPerFrame)
        return {int(ntsc * 1000), 1001};
    AVRational rate;
    av_reduce(&rate.num, &rate.den, 1000000, usPerFrame, INT32_MAX);
    return rate;
}

AVRational AviWriter::frameRateFor(const RecorderSettings& settings) {
    if (!settings.rateNumerator || !settings.rateDenominator) return frameRateFor(settings.usPerFrame);
    AVRational rate;
    av_reduce(&rate.num, &rate.den, settings.rateNumerator, settings.rateDenominator, 65535);
    return rate;
}

bool AviWriter::fail(const QString& what, int averror) {
    m_error = averror < 0 ? what + QStringLiteral(": ") + avErrorText(averror) : what;
    return false;
}

bool AviWriter::open(const QString& path, int width, int height, AVRational frameRate,
                     const AVCodecContext* encoder, const std::optional<AudioFormat>& audio) {
    m_path = path;
    m_error.clear();
    m_videoFrames = m_audioSamples = 0;
    const QByteArray localPath = path.toLocal8Bit();
    AVFormatContext* raw = nullptr;
    int rc = avformat_alloc_output_context2(&raw, nullptr, "avi", localPath.constData());
    if (rc < 0 || !raw) return fail(QStringLiteral("Cannot set up the AVI writer"), rc);
    AvFormatOutputPtr ctx(raw);

    const AVRational frameTimeBase = av_inv_q(frameRate);
    m_frameTimeBaseNum = frameTimeBase.num;
    m_frameTimeBaseDen = frameTimeBase.den;
    m_video = avformat_new_stream(ctx.get(), nullptr);
    if (!m_video) return fail(QStringLiteral("Cannot add the video stream"), AVERROR(ENOMEM));
    if (encoder) {
        avcodec_parameters_from_context(m_video->codecpar, encoder);
    } else {
        AVCodecParameters* par = m_video->codecpar;
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_MJPEG;
        par->width = width;
        par->height = height;
        par->format = AV_PIX_FMT_YUVJ420P;
        par->bits_per_coded_sample = 24;
    }
    m_video->time_base = frameTimeBase;
    m_video->avg_frame_rate = frameRate;
    m_video->r_frame_rate = frameRate;

    m_audio = nullptr;
    if (audio) {
        m_audio = avformat_new_stream(ctx.get(), nullptr);
        if (!m_audio) return fail(QStringLiteral("Cannot add the sound stream"), AVERROR(ENOMEM));
        AVCodecParameters* par = m_audio->codecpar;
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = audio->bitsPerSample == 8 ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_PCM_S16LE;
        av_channel_layout_default(&par->ch_layout, audio->channels);
        par->sample_rate = audio->samplesPerSec;
        par->bits_per_coded_sample = audio->bitsPerSample;
        par->block_align = audio->blockAlign();
        par->bit_rate = std::int64_t(audio->samplesPerSec) * audio->blockAlign() * 8;
        m_audio->time_base = {1, audio->samplesPerSec};
        m_blockAlign = audio->blockAlign();
    }

    rc = avio_open(&ctx->pb, localPath.constData(), AVIO_FLAG_WRITE);
    if (rc < 0) return fail(QStringLiteral("Cannot open '%1' for capture").arg(path), rc);
    rc = avformat_write_header(ctx.get(), nullptr);
    if (rc < 0) return fail(QStringLiteral("Cannot write the AVI header of '%1'").arg(path), rc);
    m_packet.reset(av_packet_alloc());
    m_ctx = std::move(ctx);
    return true;
}

bool AviWriter::writeVideo(const QByteArray& data, bool keyFrame) {
    if (!m_ctx) return false;
    AVPacket* pkt = m_packet.get();
    av_packet_unref(pkt);
    // The packet borrows the bytes: the muxer writes them before returning.
    pkt->data = reinterpret_cast<std::uint8_t*>(const_cast<char*>(data.constData()));
    pkt->size = int(data.size());
    pkt->pts = pkt->dts = m_videoFrames;
    pkt->duration = 1;
    pkt->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
    return writeVideoPacket(pkt);
}

bool AviWriter::writeVideoPacket(AVPacket* pkt) {
    if (!m_ctx) return false;
    pkt->stream_index = m_video->index;
    av_packet_rescale_ts(pkt, AVRational{m_frameTimeBaseNum, m_frameTimeBaseDen}, m_video->time_base);
    const int rc = av_write_frame(m_ctx.get(), pkt);
    av_packet_unref(pkt);
    if (rc < 0 || m_ctx->pb->error < 0)
        return fail(QStringLiteral("Error writing to the capture file '%1'").arg(m_path),
                    rc < 0 ? rc : m_ctx->pb->error);
    ++m_videoFrames;
    return true;
}

bool AviWriter::writeAudio(const char* data, qsizetype bytes) {
    if (!m_ctx || !m_audio) return false;
    const std::int64_t samples = bytes / m_blockAlign;
    if (samples <= 0) return true;
    AVPacket* pkt = m_packet.get();
    av_packet_unref(pkt);
    pkt->data = reinterpret_cast<std::uint8_t*>(const_cast<char*>(data));
    pkt->size = int(samples * m_blockAlign);
    pkt->stream_index = m_audio->index;
    pkt->pts = pkt->dts =
        av_rescale_q(m_audioSamples, {1, m_audio->codecpar->sample_rate}, m_audio->time_base);
    pkt->duration = av_rescale_q(samples, {1, m_audio->codecpar->sample_rate}, m_audio->time_base);
    pkt->flags = AV_PKT_FLAG_KEY;
    const int rc = av_write_frame(m_ctx.get(), pkt);
    av_packet_unref(pkt);
    if (rc < 0 || m_ctx->pb->error < 0)
        return fail(QStringLiteral("Error writing to the capture file '%1'").arg(m_path),
                    rc < 0 ? rc : m_ctx->pb->error);
    m_audioSamples += samples;
    return true;
}

bool AviWriter::flush() {
    if (!m_ctx) return false;
    avio_flush(m_ctx->pb);
    if (m_ctx->pb->error < 0)
        return fail(QStringLiteral("Error writing to the capture file '%1'").arg(m_path), m_ctx->pb->error);
    return true;
}

std::int64_t AviWriter::fileBytes() const {
    return m_ctx ? avio_tell(m_ctx->pb) : 0;
}

bool AviWriter::finish() {
    if (!m_ctx) return false;
    bool ok = true;
    if (m_ctx->pb->error >= 0) {
        const int rc = av_write_trailer(m_ctx.get());
        if (rc < 0 || m_ctx->pb->error < 0) {
            fail(QStringLiteral("Error writing to the capture file '%1'").arg(m_path),
                 rc < 0 ? rc : m_ctx->pb->error);
            ok = false;
        }
    } else {
        ok = false;
    }
    const int rc = avio_closep(&m_ctx->pb);
    if (rc < 0 && ok) ok = fail(QStringLiteral("Error closing the capture file '%1'").arg(m_path), rc);
    m_ctx.reset();
    m_video = m_audio = nullptr;
    return ok;
}
