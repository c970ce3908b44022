#include "FfmpegPtr.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

void AvFormatOutputDeleter::operator()(AVFormatContext* ctx) const {
    if (ctx->pb) avio_closep(&ctx->pb);
    avformat_free_context(ctx);
}

void AvFormatInputDeleter::operator()(AVFormatContext* ctx) const {
    avformat_close_input(&ctx);
}

void AvCodecContextDeleter::operator()(AVCodecContext* ctx) const {
    avcodec_free_context(&ctx);
}

void AvFrameDeleter::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}

void AvPacketDeleter::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}

void SwsContextDeleter::operator()(SwsContext* ctx) const {
    sws_freeContext(ctx);
}
