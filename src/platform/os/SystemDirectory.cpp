#include "SystemDirectory.h"

#include <QDir>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

QString g_path;
bool g_prepared = false;

// A tag that reads as four letters or digits; FFmpeg's table also has tags made of
// spaces, control bytes or zeros, which no reader of system.ini could take apart.
QString printableFourcc(unsigned int tag) {
    QString text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((tag >> (8 * i)) & 0xff);
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return {};
        text += QLatin1Char(c);
    }
    return text;
}

} // namespace

namespace SystemDirectory {

QList<VideoCompressor> installedVideoCompressors() {
    const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
    const QString library = QStringLiteral("libavcodec.so.%1").arg(avcodec_version() >> 16);
    QList<VideoCompressor> list;
    QSet<int> seen;
    QSet<QString> codes;
    void* iterator = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&iterator)) {
        if (codec->type != AVMEDIA_TYPE_VIDEO || !av_codec_is_encoder(codec) || seen.contains(codec->id))
            continue;
        seen.insert(codec->id);
        const QString fourcc = printableFourcc(av_codec_get_tag(tables, codec->id));
        const AVCodec* preferred = avcodec_find_encoder(codec->id);
        // Several codecs share a tag (H.263 and H.263+ are both H263): the first one keeps it.
        if (fourcc.isEmpty() || !preferred || codes.contains(fourcc)) continue;
        codes.insert(fourcc);
        list.append({fourcc, library, QString::fromLatin1(preferred->name)});
    }
    return list;
}

QString path() {
    if (!g_path.isEmpty()) return g_path;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/video-kelvanor/system");
}

bool writeSystemIni() {
    if (!QDir().mkpath(path())) return false;
    QSaveFile file(path() + QStringLiteral("/system.ini"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    QByteArray text = "[drivers32]\n";
    for (const VideoCompressor& c : installedVideoCompressors())
        text += "VIDC." + c.fourcc.toLatin1() + '=' + c.library.toLocal8Bit() + ':' +
                c.encoder.toLocal8Bit() + '\n';
    file.write(text);
    return file.commit();
}

QString prepared() {
    if (!g_prepared) {
        writeSystemIni();
        g_prepared = true;
    }
    return path();
}

void setPath(const QString& folder) {
    g_path = folder;
    g_prepared = false;
}

} // namespace SystemDirectory
