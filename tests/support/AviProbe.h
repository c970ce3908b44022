#pragma once

// Reads a recorded AVI back with FFmpeg for the recorder tests: streams, rate,
// size, the frame-number strip of every decoded frame, the sound stream.

#include "FfmpegPtr.h"
#include "drivers/TestPattern.h"

#include <QImage>
#include <QString>
#include <QVector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

struct AviProbe {
    bool opened = false;
    int videoStreams = 0;
    int audioStreams = 0;
    AVRational frameRate{0, 1};
    int64_t headerFrames = 0; // frame count the header states (0 when never finished)
    int width = 0, height = 0;
    QString videoCodec;
    QVector<int> strip; // decoded frame numbers, -1 where the strip is unreadable
    QString audioCodec;
    int channels = 0, sampleRate = 0, bitsPerSample = 0;
    int64_t audioSamples = 0;

    int decodedFrames() const { return int(strip.size()); }
    double videoSeconds() const {
        return frameRate.num ? double(strip.size()) * frameRate.den / frameRate.num : 0;
    }
    double audioSeconds() const { return sampleRate ? double(audioSamples) / sampleRate : 0; }

    static AviProbe read(const QString& path) {
        AviProbe p;
        av_log_set_level(AV_LOG_ERROR);
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, path.toLocal8Bit().constData(), nullptr, nullptr) < 0) return p;
        AvFormatInputPtr ctx(raw);
        if (avformat_find_stream_info(ctx.get(), nullptr) < 0) return p;
        p.opened = true;
        int videoIndex = -1, audioIndex = -1;
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            const AVStream* st = ctx->streams[i];
            if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
                if (videoIndex < 0) videoIndex = int(i);
                ++p.videoStreams;
            } else if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                if (audioIndex < 0) audioIndex = int(i);
                ++p.audioStreams;
            }
        }
        AvCodecContextPtr dec;
        if (videoIndex >= 0) {
            const AVStream* st = ctx->streams[videoIndex];
            p.frameRate = st->r_frame_rate;
            p.headerFrames = st->nb_frames;
            p.width = st->codecpar->width;
            p.height = st->codecpar->height;
            const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
            p.videoCodec = QString::fromLatin1(avcodec_get_name(st->codecpar->codec_id));
            if (codec) {
                dec.reset(avcodec_alloc_context3(codec));
                avcodec_parameters_to_context(dec.get(), st->codecpar);
                if (avcodec_open2(dec.get(), codec, nullptr) < 0) dec.reset();
            }
        }
        if (audioIndex >= 0) {
            const AVCodecParameters* par = ctx->streams[audioIndex]->codecpar;
            p.audioCodec = QString::fromLatin1(avcodec_get_name(par->codec_id));
            p.channels = par->ch_layout.nb_channels;
            p.sampleRate = par->sample_rate;
            p.bitsPerSample = par->bits_per_coded_sample;
        }
        AvPacketPtr pkt(av_packet_alloc());
        AvFramePtr frame(av_frame_alloc());
        auto receive = [&] {
            while (avcodec_receive_frame(dec.get(), frame.get()) == 0) {
                p.strip << decodeFrameNumberStrip(toImage(frame.get()));
                av_frame_unref(frame.get());
            }
        };
        while (av_read_frame(ctx.get(), pkt.get()) >= 0) {
            if (pkt->stream_index == videoIndex && dec) {
                if (avcodec_send_packet(dec.get(), pkt.get()) == 0) receive();
            } else if (pkt->stream_index == audioIndex && p.channels > 0 && p.bitsPerSample > 0) {
                p.audioSamples += pkt->size / (p.channels * p.bitsPerSample / 8);
            }
            av_packet_unref(pkt.get());
        }
        if (dec) {
            avcodec_send_packet(dec.get(), nullptr);
            receive();
        }
        return p;
    }

    static QImage toImage(const AVFrame* f) {
        QImage image(f->width, f->height, QImage::Format_RGB888);
        SwsContextPtr sws(sws_getContext(f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                         AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!sws) return {};
        uint8_t* dst[1] = {image.bits()};
        const int dstStride[1] = {int(image.bytesPerLine())};
        sws_scale(sws.get(), f->data, f->linesize, 0, f->height, dst, dstStride);
        return image;
    }
};
