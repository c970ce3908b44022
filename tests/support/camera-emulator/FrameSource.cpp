#include "FrameSource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <linux/videodev2.h>
#include <map>
#include <turbojpeg.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace camemu {
namespace {

constexpr int kJpegQuality = 85;
// How many bytes of pictures one stream keeps at most; the cycle is shortened to fit.
constexpr std::size_t kCycleBytes = std::size_t(256) << 20;

AVPixelFormat avFormatOf(std::uint32_t fourcc) {
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
        return AV_PIX_FMT_YUYV422;
    case V4L2_PIX_FMT_NV12:
        return AV_PIX_FMT_NV12;
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_H264:
        return AV_PIX_FMT_YUV420P;
    case V4L2_PIX_FMT_RGB24:
        return AV_PIX_FMT_RGB24;
    case V4L2_PIX_FMT_BGR24:
        return AV_PIX_FMT_BGR24;
    default:
        return AV_PIX_FMT_NONE;
    }
}

} // namespace

struct FrameSource::Codec {
    tjhandle jpeg = nullptr;
    SwsContext* scaler = nullptr;
    AVCodecContext* h264 = nullptr;
    AVFrame* picture = nullptr;
    AVPacket* packet = nullptr;
    std::int64_t pts = 0;
    ~Codec() {
        if (jpeg) tjDestroy(jpeg);
        sws_freeContext(scaler);
        avcodec_free_context(&h264);
        av_frame_free(&picture);
        av_packet_free(&packet);
    }
};

// A movie played on the wall clock, decoded as it plays. Equal pictures in a row are
// one content, scaled to the stream's size and encoded once: a still scene costs its
// producer a decode and a comparison per picture.
struct FrameSource::Scene {
    struct Picture {
        double startS = 0; // movie time it shows from, until the next one starts
        std::uint64_t content = 0;
    };
    struct Content {
        std::vector<std::uint8_t> rgb, encoded;
    };

    AVFormatContext* input = nullptr;
    AVCodecContext* decoder = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    AVRational timeBase{0, 1};
    double frameS = 1.0 / 30;
    std::int64_t firstPts = AV_NOPTS_VALUE;
    bool draining = false, ended = false;
    std::deque<Picture> pictures; // the last shows to the end of time once ended
    std::vector<std::uint8_t> lastPixels;
    std::uint64_t contents = 0;
    std::map<std::uint64_t, Content> content;
    std::vector<std::uint8_t> blended;

    ~Scene() {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        avformat_close_input(&input);
    }

    bool open(const std::string& path) {
        if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return false;
        const AVCodec* codec = nullptr;
        if (avformat_find_stream_info(input, nullptr) < 0) return false;
        stream = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream < 0 || !(decoder = avcodec_alloc_context3(codec))) return false;
        const AVStream* s = input->streams[stream];
        timeBase = s->time_base;
        if (s->avg_frame_rate.num > 0) frameS = av_q2d(av_inv_q(s->avg_frame_rate));
        decoder->thread_count = 1;
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        return avcodec_parameters_to_context(decoder, s->codecpar) >= 0 &&
               avcodec_open2(decoder, codec, nullptr) >= 0 && packet && frame;
    }

    // Decodes the next picture into `pictures`; false at the movie's end.
    bool decodeNext(std::uint32_t width, std::uint32_t height) {
        while (!ended) {
            const int received = avcodec_receive_frame(decoder, frame);
            if (received == 0) {
                add(width, height);
                av_frame_unref(frame);
                return true;
            }
            if (received != AVERROR(EAGAIN) || draining) {
                ended = true;
                break;
            }
            if (av_read_frame(input, packet) < 0) {
                avcodec_send_packet(decoder, nullptr);
                draining = true;
                continue;
            }
            if (packet->stream_index == stream) avcodec_send_packet(decoder, packet);
            av_packet_unref(packet);
        }
        return false;
    }

    void add(std::uint32_t width, std::uint32_t height) {
        const std::int64_t pts = frame->best_effort_timestamp;
        double startS = pictures.empty() ? 0 : pictures.back().startS + frameS;
        if (pts != AV_NOPTS_VALUE) {
            if (firstPts == AV_NOPTS_VALUE) firstPts = pts;
            startS = double(pts - firstPts) * av_q2d(timeBase);
        }
        const AVPixelFormat format = AVPixelFormat(frame->format);
        const int size = av_image_get_buffer_size(format, frame->width, frame->height, 1);
        std::vector<std::uint8_t> pixels(std::size_t(std::max(size, 0)));
        if (size > 0)
            av_image_copy_to_buffer(pixels.data(), size, frame->data, frame->linesize, format, frame->width,
                                    frame->height, 1);
        if (pictures.empty() || pixels != lastPixels) {
            Content& c = content[++contents];
            c.rgb.resize(std::size_t(width) * height * 3);
            scaler =
                sws_getCachedContext(scaler, frame->width, frame->height, format, int(width), int(height),
                                     AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
            std::uint8_t* planes[1] = {c.rgb.data()};
            const int lines[1] = {int(width * 3)};
            if (scaler) sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, lines);
            lastPixels.swap(pixels);
        }
        if (pictures.empty() || pictures.back().content != contents) pictures.push_back({startS, contents});
    }
};

const std::vector<std::uint8_t> FrameSource::s_none;

std::uint32_t FrameSource::bytesPerLine(std::uint32_t fourcc, std::uint32_t width) {
    // uvc_v4l2_get_bytesperline: planar 4:2:0 formats give the luma plane's line.
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
        return width * 2;
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
        return width;
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_BGR24:
        return width * 3;
    default:
        return 0;
    }
}

std::uint32_t FrameSource::rawImageSize(std::uint32_t fourcc, std::uint32_t width, std::uint32_t height) {
    switch (fourcc) {
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
        return width * height * 3 / 2;
    default:
        return bytesPerLine(fourcc, width) * height;
    }
}

FrameSource::FrameSource(const CameraConfig& camera, std::uint32_t fourcc, std::uint32_t width,
                         std::uint32_t height)
    : m_camera(camera), m_fourcc(fourcc), m_width(width), m_height(height), m_codec(new Codec) {
    const std::size_t frameBytes =
        std::max<std::size_t>(rawImageSize(V4L2_PIX_FMT_RGB24, width, height) / 4, 1);
    const std::size_t fits = std::max<std::size_t>(2, kCycleBytes / frameBytes);
    std::size_t cycle = std::min<std::size_t>(camera.patternFrames, fits);
    if (!camera.movie.empty() && camera.movieStartNs) {
        m_scene = std::make_unique<Scene>();
        if (!m_scene->open(camera.movie)) {
            std::fprintf(stderr, "camera emulator: cannot open the movie %s\n", camera.movie.c_str());
            m_scene.reset();
        }
    } else if (!camera.movie.empty() && loadMovie(camera.movie)) {
        cycle = std::min(cycle, m_movie.size());
    }
    m_frames.resize(std::max<std::size_t>(cycle, 1));

    // Colour bars at 75 %: white, yellow, cyan, green, magenta, red, blue.
    static const std::uint8_t bars[7][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                            {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};
    m_bars.resize(std::size_t(width) * height * 3);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            std::memcpy(&m_bars[(std::size_t(y) * width + x) * 3], bars[std::size_t(x) * 7 / width], 3);
}

FrameSource::~FrameSource() = default;

void FrameSource::renderPattern(std::uint32_t index, std::vector<std::uint8_t>& rgb) const {
    rgb = m_bars;
    const std::size_t line = std::size_t(m_width) * 3;
    // The moving bar: one bar width per cycle, a step per frame.
    const std::uint32_t barWidth = std::max<std::uint32_t>(m_width / 32, 2);
    const std::uint32_t barX =
        std::uint32_t(std::uint64_t(m_width - barWidth) * index / std::max<std::size_t>(m_frames.size(), 1));
    const std::uint32_t stripHeight = std::max<std::uint32_t>(m_height / 12, 2);
    for (std::uint32_t y = 0; y < m_height - stripHeight; ++y)
        std::memset(&rgb[y * line + std::size_t(barX) * 3], 235, std::size_t(barWidth) * 3);
    // The frame's place in the cycle: 16 blocks along the bottom.
    for (std::uint32_t y = m_height - stripHeight; y < m_height; ++y)
        for (std::uint32_t x = 0; x < m_width; ++x) {
            const std::uint32_t bit = 15 - std::min<std::uint32_t>(x * 16 / m_width, 15);
            std::memset(&rgb[y * line + std::size_t(x) * 3], (index >> bit) & 1 ? 235 : 16, 3);
        }
}

bool FrameSource::loadMovie(const std::string& path) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) {
        std::fprintf(stderr, "camera emulator: cannot open the movie %s\n", path.c_str());
        return false;
    }
    const AVCodec* decoder = nullptr;
    const int stream = avformat_find_stream_info(input, nullptr) < 0
                           ? -1
                           : av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    AVCodecContext* context = stream >= 0 ? avcodec_alloc_context3(decoder) : nullptr;
    if (!context || avcodec_parameters_to_context(context, input->streams[stream]->codecpar) < 0 ||
        avcodec_open2(context, decoder, nullptr) < 0) {
        avcodec_free_context(&context);
        avformat_close_input(&input);
        return false;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scaler = nullptr;
    auto take = [&] {
        while (m_movie.size() < m_camera.patternFrames && avcodec_receive_frame(context, frame) == 0) {
            scaler = sws_getCachedContext(scaler, frame->width, frame->height, AVPixelFormat(frame->format),
                                          int(m_width), int(m_height), AV_PIX_FMT_RGB24, SWS_BILINEAR,
                                          nullptr, nullptr, nullptr);
            std::vector<std::uint8_t> rgb(std::size_t(m_width) * m_height * 3);
            std::uint8_t* planes[1] = {rgb.data()};
            const int lines[1] = {int(m_width * 3)};
            if (scaler &&
                sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, lines) > 0)
                m_movie.push_back(std::move(rgb));
        }
    };
    while (m_movie.size() < m_camera.patternFrames && av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(context, packet) >= 0) take();
        av_packet_unref(packet);
    }
    avcodec_send_packet(context, nullptr);
    take();
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&input);
    return !m_movie.empty();
}

std::vector<std::uint8_t> FrameSource::encode(const std::vector<std::uint8_t>& rgb) {
    Codec& c = *m_codec;
    if (m_fourcc == V4L2_PIX_FMT_MJPEG) {
        if (!c.jpeg) c.jpeg = tjInitCompress();
        unsigned char* out = nullptr;
        unsigned long size = 0;
        if (!c.jpeg || tjCompress2(c.jpeg, rgb.data(), int(m_width), 0, int(m_height), TJPF_RGB, &out, &size,
                                   TJSAMP_422, kJpegQuality, TJFLAG_FASTDCT) != 0) {
            tjFree(out);
            return {};
        }
        std::vector<std::uint8_t> jpeg(out, out + size);
        tjFree(out);
        return m_camera.quirks.mjpegNoDht ? withoutHuffmanTables(jpeg) : jpeg;
    }
    const AVPixelFormat target = avFormatOf(m_fourcc);
    if (target == AV_PIX_FMT_NONE) return {};
    c.scaler = sws_getCachedContext(c.scaler, int(m_width), int(m_height), AV_PIX_FMT_RGB24, int(m_width),
                                    int(m_height), target, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!c.scaler) return {};
    const std::uint8_t* source[1] = {rgb.data()};
    const int sourceLines[1] = {int(m_width * 3)};
    if (m_fourcc != V4L2_PIX_FMT_H264) {
        std::vector<std::uint8_t> raw(rawImageSize(m_fourcc, m_width, m_height));
        std::uint8_t* planes[4] = {};
        int lines[4] = {};
        av_image_fill_arrays(planes, lines, raw.data(), target, int(m_width), int(m_height), 1);
        sws_scale(c.scaler, source, sourceLines, 0, int(m_height), planes, lines);
        return raw;
    }
    if (!c.h264) {
        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_H264);
        if (!encoder) return {};
        c.h264 = avcodec_alloc_context3(encoder);
        c.h264->width = int(m_width);
        c.h264->height = int(m_height);
        c.h264->pix_fmt = AV_PIX_FMT_YUV420P;
        c.h264->time_base = {1, 30};
        c.h264->gop_size = 1; // every frame a key frame: the cycle can repeat
        c.h264->thread_count = 1;
        av_opt_set(c.h264->priv_data, "preset", "ultrafast", 0);
        av_opt_set(c.h264->priv_data, "tune", "zerolatency", 0);
        c.picture = av_frame_alloc();
        c.packet = av_packet_alloc();
        c.picture->format = AV_PIX_FMT_YUV420P;
        c.picture->width = int(m_width);
        c.picture->height = int(m_height);
        if (avcodec_open2(c.h264, encoder, nullptr) < 0 || av_frame_get_buffer(c.picture, 0) < 0) {
            avcodec_free_context(&c.h264);
            return {};
        }
    }
    if (av_frame_make_writable(c.picture) < 0) return {};
    sws_scale(c.scaler, source, sourceLines, 0, int(m_height), c.picture->data, c.picture->linesize);
    c.picture->pts = c.pts++;
    std::vector<std::uint8_t> stream;
    if (avcodec_send_frame(c.h264, c.picture) < 0) return {};
    while (avcodec_receive_packet(c.h264, c.packet) == 0) {
        stream.insert(stream.end(), c.packet->data, c.packet->data + c.packet->size);
        av_packet_unref(c.packet);
    }
    return stream;
}

const std::vector<std::uint8_t>& FrameSource::frame(std::uint64_t sequence) {
    const std::size_t index = std::size_t(sequence % m_frames.size());
    std::vector<std::uint8_t>& bytes = m_frames[index];
    if (bytes.empty()) {
        if (!m_movie.empty()) {
            bytes = encode(m_movie[index % m_movie.size()]);
        } else {
            std::vector<std::uint8_t> rgb;
            renderPattern(std::uint32_t(index), rgb);
            bytes = encode(rgb);
        }
    }
    return bytes;
}

const std::vector<std::uint8_t>& FrameSource::sceneFrame(double fromS, double toS) {
    if (!m_scene) return frame(0);
    Scene& scene = *m_scene;
    while (scene.pictures.empty() || scene.pictures.back().startS < toS)
        if (!scene.decodeNext(m_width, m_height)) break;
    if (scene.pictures.empty()) return s_none;
    while (scene.pictures.size() > 1 && scene.pictures[1].startS <= fromS)
        scene.pictures.pop_front();
    for (auto it = scene.content.begin(); it != scene.content.end();)
        it = it->first < scene.pictures.front().content ? scene.content.erase(it) : std::next(it);
    // How long each content shows within the exposure.
    constexpr double kForever = std::numeric_limits<double>::infinity();
    std::map<std::uint64_t, double> shown;
    for (std::size_t i = 0; i < scene.pictures.size(); ++i) {
        const double begin = i == 0 ? -kForever : scene.pictures[i].startS;
        const double end = i + 1 < scene.pictures.size() ? scene.pictures[i + 1].startS : kForever;
        const double overlap = std::min(end, toS) - std::max(begin, fromS);
        if (overlap > 0) shown[scene.pictures[i].content] += overlap;
    }
    if (shown.size() <= 1) {
        Scene::Content& c =
            scene.content[shown.empty() ? scene.pictures.front().content : shown.begin()->first];
        if (c.encoded.empty()) c.encoded = encode(c.rgb);
        return c.encoded;
    }
    double total = 0;
    for (const auto& [id, seconds] : shown)
        total += seconds;
    std::vector<float> sum(std::size_t(m_width) * m_height * 3, 0.0f);
    for (const auto& [id, seconds] : shown) {
        const float weight = float(seconds / total);
        const std::vector<std::uint8_t>& rgb = scene.content[id].rgb;
        for (std::size_t k = 0; k < sum.size() && k < rgb.size(); ++k)
            sum[k] += weight * rgb[k];
    }
    std::vector<std::uint8_t> rgb(sum.size());
    for (std::size_t k = 0; k < sum.size(); ++k)
        rgb[k] = std::uint8_t(std::min(255.0f, sum[k] + 0.5f));
    scene.blended = encode(rgb);
    return scene.blended;
}

std::vector<std::uint8_t> withoutHuffmanTables(const std::vector<std::uint8_t>& jpeg) {
    std::vector<std::uint8_t> out;
    out.reserve(jpeg.size());
    std::size_t i = 0;
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return jpeg;
    out.insert(out.end(), jpeg.begin(), jpeg.begin() + 2);
    i = 2;
    // Marker segments up to the start of scan; the entropy-coded data is copied whole.
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        const std::uint8_t marker = jpeg[i + 1];
        const std::size_t length = (std::size_t(jpeg[i + 2]) << 8) | jpeg[i + 3];
        if (marker == 0xDA) break;
        if (marker != 0xC4)
            out.insert(out.end(), jpeg.begin() + std::ptrdiff_t(i),
                       jpeg.begin() + std::ptrdiff_t(std::min(jpeg.size(), i + 2 + length)));
        i += 2 + length;
    }
    if (i < jpeg.size()) out.insert(out.end(), jpeg.begin() + std::ptrdiff_t(i), jpeg.end());
    return out;
}

} // namespace camemu
