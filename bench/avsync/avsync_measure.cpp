// avsync_measure FILE
//   Finds the white flashes and the beeps of a recording of the reference scene (a black
//   picture flashing white and a tone starting at the same instants) and prints, for
//   each flash, the offset of its beep: sound minus picture in milliseconds, positive
//   when the sound comes late. Both are read with FFmpeg on the file's own timeline (the
//   times a player shows them at).
//
//   A flash starts within the exposure of the first frame that shows it lit: the frame
//   shows the share of its exposure the flash was on as its brightness between black
//   and white. A frame's time is the start of its exposure and the exposure is one
//   frame long, so the flash began at time + (1 - share) * frame. A beep starts at the
//   first sample above a tenth of full scale after at least 0.3 s of quiet. Each flash
//   is paired with the beep nearest to it plus the file's common shift (found first,
//   up to 5 s), within half a second of that.
//
//   Prints the offsets of the first five pairs (start), five around the middle and the
//   last five (end), the least and greatest of all and the drift (least squares, ms per
//   ten minutes), then every pair. The first line has the same figures for
//   bench/avsync/run.sh:
//     figures: pairs flashes beeps start middle end least greatest drift

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Shown {
    double timeS;
    double luma;
};

struct Recording {
    std::vector<Shown> frames;
    double frameS = 1.0 / 30;
    std::vector<double> beeps;
    double quietS = 0; // how long the sound has been quiet, for the beep detector
    bool heard = false;
};

double sampleAt(const AVFrame* frame, int i) {
    // The first channel only: every channel carries the same sound.
    const uint8_t* data = frame->data[0];
    const int channels =
        av_sample_fmt_is_planar(AVSampleFormat(frame->format)) ? 1 : frame->ch_layout.nb_channels;
    switch (frame->format) {
    case AV_SAMPLE_FMT_U8:
    case AV_SAMPLE_FMT_U8P:
        return (data[i * channels] - 128) / 128.0;
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S16P: {
        int16_t v;
        std::memcpy(&v, data + std::size_t(i * channels) * 2, 2);
        return v / 32768.0;
    }
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_S32P: {
        int32_t v;
        std::memcpy(&v, data + std::size_t(i * channels) * 4, 4);
        return v / 2147483648.0;
    }
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_FLTP: {
        float v;
        std::memcpy(&v, data + std::size_t(i * channels) * 4, 4);
        return v;
    }
    default:
        return 0;
    }
}

void takeSound(Recording& r, const AVFrame* frame, double timeS) {
    const double rate = frame->sample_rate;
    for (int i = 0; i < frame->nb_samples; ++i) {
        if (std::fabs(sampleAt(frame, i)) >= 0.1) {
            if (!r.heard && r.quietS >= 0.3) r.beeps.push_back(timeS + i / rate);
            r.heard = true;
            r.quietS = 0;
        } else {
            r.heard = false;
            r.quietS += 1 / rate;
        }
    }
}

double meanLuma(const AVFrame* frame) {
    // Every fourth pixel of every fourth line of the first (luma) plane.
    double sum = 0;
    long n = 0;
    for (int y = 0; y < frame->height; y += 4)
        for (int x = 0; x < frame->width; x += 4, ++n)
            sum += frame->data[0][std::size_t(y) * std::size_t(frame->linesize[0]) + std::size_t(x)];
    return n ? sum / double(n) : 0;
}

bool read(const char* path, Recording& r) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path, nullptr, nullptr) < 0 ||
        avformat_find_stream_info(input, nullptr) < 0) {
        std::fprintf(stderr, "avsync_measure: cannot read %s\n", path);
        return false;
    }
    std::vector<AVCodecContext*> decoders(input->nb_streams, nullptr);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVCodecParameters* p = input->streams[i]->codecpar;
        if (p->codec_type != AVMEDIA_TYPE_VIDEO && p->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        const AVCodec* codec = avcodec_find_decoder(p->codec_id);
        AVCodecContext* c = codec ? avcodec_alloc_context3(codec) : nullptr;
        // A picture's mean brightness needs no detail: an eighth of its size (JPEG's
        // DC coefficients) decodes several times faster.
        if (c && avcodec_parameters_to_context(c, p) >= 0) c->lowres = std::min(3, int(codec->max_lowres));
        if (!c || avcodec_open2(c, codec, nullptr) < 0) {
            avcodec_free_context(&c);
            continue;
        }
        decoders[i] = c;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
            const AVRational rate = av_guess_frame_rate(input, input->streams[i], nullptr);
            if (rate.num > 0) r.frameS = av_q2d(av_inv_q(rate));
        }
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&](unsigned stream) {
        AVCodecContext* c = decoders[stream];
        const double tb = av_q2d(input->streams[stream]->time_base);
        while (avcodec_receive_frame(c, frame) == 0) {
            const double timeS = double(frame->best_effort_timestamp) * tb;
            if (c->codec_type == AVMEDIA_TYPE_VIDEO)
                r.frames.push_back({timeS, meanLuma(frame)});
            else
                takeSound(r, frame, timeS);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(input, packet) >= 0) {
        const unsigned s = unsigned(packet->stream_index);
        if (s < decoders.size() && decoders[s] && avcodec_send_packet(decoders[s], packet) >= 0) drain(s);
        av_packet_unref(packet);
    }
    for (unsigned s = 0; s < decoders.size(); ++s)
        if (decoders[s] && avcodec_send_packet(decoders[s], nullptr) >= 0) drain(s);
    for (AVCodecContext*& c : decoders)
        avcodec_free_context(&c);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&input);
    return true;
}

std::vector<double> flashes(const Recording& r) {
    std::vector<double> lumas;
    for (const Shown& f : r.frames)
        lumas.push_back(f.luma);
    if (lumas.size() < 2) return {};
    std::sort(lumas.begin(), lumas.end());
    const double black = lumas[lumas.size() / 20], white = lumas.back();
    if (white - black < 50) return {};
    std::vector<double> starts;
    double before = 1;
    for (const Shown& f : r.frames) {
        const double share = std::clamp((f.luma - black) / (white - black), 0.0, 1.0);
        if (share >= 0.02 && before < 0.02) starts.push_back(f.timeS + (1 - share) * r.frameS);
        before = share;
    }
    return starts;
}

struct Span {
    double mean = 0, least = 0, most = 0;
};

Span span(const std::vector<double>& v, std::size_t from, std::size_t count) {
    from = std::min(from, v.size() - std::min(v.size(), count));
    const std::size_t to = std::min(v.size(), from + count);
    Span s{0, 1e9, -1e9};
    for (std::size_t i = from; i < to; ++i) {
        s.mean += v[i] / double(to - from);
        s.least = std::min(s.least, v[i]);
        s.most = std::max(s.most, v[i]);
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: avsync_measure FILE\n");
        return 2;
    }
    av_log_set_level(AV_LOG_ERROR);
    Recording r;
    if (!read(argv[1], r)) return 1;
    const std::vector<double> flash = flashes(r);
    // The common shift first: of the differences between a flash and a beep within 5 s,
    // the one most other pairs agree with (within 50 ms). The gaps repeat only every ten
    // seconds, so a recorder's offset of up to 5 s is found whole.
    double shift = 0;
    std::size_t agreeing = 0;
    for (std::size_t i = 0; i < flash.size(); i += std::max<std::size_t>(1, flash.size() / 40))
        for (double b : r.beeps) {
            const double d = b - flash[i];
            if (std::fabs(d) > 5) continue;
            std::size_t n = 0;
            for (double f : flash)
                for (double c : r.beeps)
                    if (std::fabs(c - f - d) < 0.05) {
                        ++n;
                        break;
                    }
            if (n > agreeing) agreeing = n, shift = d;
        }
    std::vector<double> at, offsetMs;
    for (double f : flash) {
        double nearest = 1e9;
        for (double b : r.beeps)
            if (std::fabs(b - f - shift) < std::fabs(nearest - f - shift)) nearest = b;
        if (std::fabs(nearest - f - shift) > 0.5) continue;
        at.push_back(f);
        offsetMs.push_back((nearest - f) * 1000);
    }
    if (offsetMs.empty()) {
        std::printf("figures: 0 %zu %zu - - - - - -\nno flash paired with a beep\n", flash.size(),
                    r.beeps.size());
        return 1;
    }
    // Drift: the least-squares slope of the offsets over the flashes' times.
    double mt = 0, mo = 0;
    for (std::size_t i = 0; i < at.size(); ++i) {
        mt += at[i] / double(at.size());
        mo += offsetMs[i] / double(at.size());
    }
    double sto = 0, stt = 0;
    for (std::size_t i = 0; i < at.size(); ++i) {
        sto += (at[i] - mt) * (offsetMs[i] - mo);
        stt += (at[i] - mt) * (at[i] - mt);
    }
    const double driftPer10Min = stt > 0 ? sto / stt * 600 : 0;
    const std::size_t n = offsetMs.size();
    const Span start = span(offsetMs, 0, 5),
               middle = span(offsetMs, n / 2 - std::min<std::size_t>(n / 2, 2), 5),
               end = span(offsetMs, n, 5), all = span(offsetMs, 0, n);
    std::printf("figures: %zu %zu %zu %.1f %.1f %.1f %.1f %.1f %.1f\n", n, flash.size(), r.beeps.size(),
                start.mean, middle.mean, end.mean, all.least, all.most, driftPer10Min);
    std::printf("%s: %zu frames, %zu flashes, %zu beeps, %zu pairs\n", argv[1], r.frames.size(), flash.size(),
                r.beeps.size(), n);
    std::printf("offset, sound minus picture (ms):\n");
    for (auto [name, s] : {std::pair{"start ", start}, std::pair{"middle", middle}, std::pair{"end   ", end}})
        std::printf("  %s %7.1f  (%.1f to %.1f)\n", name, s.mean, s.least, s.most);
    std::printf("  all    %.1f to %.1f, drift %.1f ms per 10 min\n", all.least, all.most, driftPer10Min);
    for (std::size_t i = 0; i < n; ++i)
        std::printf("  flash %9.3f s  offset %7.1f ms\n", at[i], offsetMs[i]);
    return 0;
}
