#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

// Owners of the FFmpeg objects the recorder uses. An output format context owns
// its AVIOContext too: the deleter closes the file before freeing the context.
struct AvFormatOutputDeleter {
    void operator()(AVFormatContext* ctx) const {
        if (ctx->pb) avio_closep(&ctx->pb);
        avformat_free_context(ctx);
    }
};
struct AvFormatInputDeleter {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct AvCodecContextDeleter {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct AvFrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct AvPacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwsContextDeleter {
    void operator()(SwsContext* ctx) const { sws_freeContext(ctx); }
};

using AvFormatOutputPtr = std::unique_ptr<AVFormatContext, AvFormatOutputDeleter>;
using AvFormatInputPtr = std::unique_ptr<AVFormatContext, AvFormatInputDeleter>;
using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
