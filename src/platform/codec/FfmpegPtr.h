#pragma once

#include <memory>

// Owners of FFmpeg's objects. The header names no FFmpeg header: a class can hold one
// of these without its users seeing FFmpeg. An output format context owns its
// AVIOContext too: the deleter closes the file before freeing the context.
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

struct AvFormatOutputDeleter {
    void operator()(AVFormatContext* ctx) const; // avio_closep, avformat_free_context
};
struct AvFormatInputDeleter {
    void operator()(AVFormatContext* ctx) const; // avformat_close_input
};
struct AvCodecContextDeleter {
    void operator()(AVCodecContext* ctx) const; // avcodec_free_context
};
struct AvFrameDeleter {
    void operator()(AVFrame* frame) const; // av_frame_free
};
struct AvPacketDeleter {
    void operator()(AVPacket* packet) const; // av_packet_free
};
struct SwsContextDeleter {
    void operator()(SwsContext* ctx) const; // sws_freeContext
};

using AvFormatOutputPtr = std::unique_ptr<AVFormatContext, AvFormatOutputDeleter>;
using AvFormatInputPtr = std::unique_ptr<AVFormatContext, AvFormatInputDeleter>;
using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
