#include "VideoCompression.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>

std::vector<VideoEncoderInfo> aviVideoEncoders() {
    std::vector<VideoEncoderInfo> encoders;
    const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
    if (!avi) return encoders;
    void* state = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&state)) {
        if (!av_codec_is_encoder(codec) || codec->type != AVMEDIA_TYPE_VIDEO) continue;
        if (codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) continue;
        if (avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) != 1) continue;
        encoders.push_back({QString::fromLatin1(codec->name),
                            QString::fromLatin1(codec->long_name ? codec->long_name : codec->name)});
    }
    std::sort(encoders.begin(), encoders.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return encoders;
}
