// bench_record throughput [frames640] [frames1080]
//   Records the test pattern as fast as the recorder takes it (640x480 and
//   1920x1080) and runs ffmpeg's own MJPEG encoder on its test source of the same
//   size; prints frames per second of both and the ratio.
// bench_record opendml
//   Records 200 uncompressed 1920x1080 frames (1.2 GB) and checks that the file
//   went on in an OpenDML AVIX RIFF chunk and that every frame reads back.
// bench_record realtime [seconds]
//   Records 1920x1080 at 30 frames per second in real time with sound from the
//   default PulseAudio source; prints dropped frames, CPU use, memory over time and
//   the offset between sound and picture.

#include "drivers/TestPattern.h"
#include "recorder/Recorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <QtEndian>
#include <cstdio>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

std::vector<VideoFrame> patternFrames(QSize size, int count) {
    std::vector<VideoFrame> frames;
    for (int i = 0; i < count; ++i) {
        VideoFrame f(
            TestPattern::render(size, TestPattern::ColourBars, 50, uint64_t(i), QTime(12, 0, i % 60)));
        f.sequence = uint64_t(i);
        frames.push_back(f);
    }
    return frames;
}

bool runToEnd(Recorder& recorder, const std::function<void()>& feed) {
    bool ok = false, done = false, begun = false;
    QEventLoop loop;
    QObject::connect(&recorder, &Recorder::status, &loop, [&](int id, const QString& text) {
        if (id == RecorderStatusId::Begin) {
            begun = true;
            loop.quit();
        }
        if (id >= 400 && id < 500) std::printf("  status %d: %s\n", id, qPrintable(text));
    });
    QObject::connect(&recorder, &Recorder::finished, &loop, [&](bool result) {
        ok = result;
        done = true;
        loop.quit();
    });
    if (!begun && !done) loop.exec();
    std::thread feeder(feed);
    while (!done)
        loop.exec();
    feeder.join();
    return ok;
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long rssKb() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

double ourThroughput(QSize size, int frames, const QString& file) {
    const std::vector<VideoFrame> source = patternFrames(size, 30);
    Recorder recorder;
    RecorderSettings s;
    s.filePath = file;
    s.usPerFrame = 33333;
    s.quality = 75;
    if (!recorder.start(s)) return 0;
    QElapsedTimer timer;
    const bool ok = runToEnd(recorder, [&] {
        timer.start();
        for (int i = 0; i < frames; ++i) {
            VideoFrame f = source[size_t(i) % source.size()];
            f.captureTimeUs = 1000000 + int64_t(i) * 33333;
            recorder.pushFrame(f, true);
        }
        recorder.stop();
    });
    const double seconds = timer.nsecsElapsed() / 1e9;
    const Recorder::Progress p = recorder.progress();
    if (!ok || int(p.videoFrames) != frames)
        std::printf("  (recorder wrote %u frames, %u dropped)\n", p.videoFrames, p.framesDropped);
    return frames / seconds;
}

// file empty: ffmpeg only generates the test source (to /dev/null), for the share
// of its time that is not encoding.
double ffmpegThroughput(QSize size, int frames, const QString& file) {
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    QStringList args{QStringLiteral("-v"),
                     QStringLiteral("error"),
                     QStringLiteral("-y"),
                     QStringLiteral("-f"),
                     QStringLiteral("lavfi"),
                     QStringLiteral("-i"),
                     QStringLiteral("testsrc=size=%1x%2:rate=30").arg(size.width()).arg(size.height()),
                     QStringLiteral("-frames:v"),
                     QString::number(frames)};
    if (file.isEmpty())
        args << QStringLiteral("-f") << QStringLiteral("null") << QStringLiteral("-");
    else
        args << QStringLiteral("-c:v") << QStringLiteral("mjpeg") << file;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    if (!ffmpeg.waitForFinished(600000) || ffmpeg.exitCode() != 0) {
        std::printf("  ffmpeg failed: %s\n", ffmpeg.readAll().constData());
        return 0;
    }
    return frames / (timer.nsecsElapsed() / 1e9);
}

int throughput(int frames640, int frames1080) {
    QTemporaryDir dir;
    std::printf("Recording throughput, MJPEG AVI, %u threads\n", std::thread::hardware_concurrency());
    std::printf("%-10s %8s %10s %11s %7s %18s\n", "size", "frames", "ours fps", "ffmpeg fps", "ratio",
                "ffmpeg encode-only");
    for (auto [size, frames] :
         {std::pair{QSize(640, 480), frames640}, std::pair{QSize(1920, 1080), frames1080}}) {
        const double ours = ourThroughput(size, frames, dir.filePath(QStringLiteral("ours.avi")));
        const double theirs = ffmpegThroughput(size, frames, dir.filePath(QStringLiteral("ffmpeg.avi")));
        const double source = ffmpegThroughput(size, frames, {});
        // ffmpeg's time less the time its test source takes alone.
        const double encodeOnly = theirs > 0 && source > theirs ? 1.0 / (1.0 / theirs - 1.0 / source) : 0;
        std::printf("%4dx%-5d %8d %10.1f %11.1f %6.2fx %10.1f (%.2fx)\n", size.width(), size.height(), frames,
                    ours, theirs, theirs > 0 ? ours / theirs : 0.0, encodeOnly,
                    encodeOnly > 0 ? ours / encodeOnly : 0.0);
        std::fflush(stdout);
    }
    return 0;
}

int realtime(int seconds, bool sound) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("realtime.avi"));
    const std::vector<VideoFrame> source = patternFrames(QSize(1920, 1080), 8);
    const long baselineKb = rssKb();
    Recorder recorder;
    RecorderSettings s;
    s.filePath = file;
    s.usPerFrame = 33333;
    s.timeLimitS = seconds;
    s.captureAudio = sound;
    s.audio = {2, 44100, 16};
    s.quality = 75;
    if (!recorder.start(s)) return 1;
    std::vector<long> rss;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { rss.push_back(rssKb()); });
    sampler.start(1000);
    double cpuStart = 0;
    QElapsedTimer wall;
    std::atomic<bool> ended{false};
    QObject::connect(&recorder, &Recorder::finished, [&] { ended = true; });
    const bool ok = runToEnd(recorder, [&] {
        // A camera whose frames cost nothing to produce (as a DMA buffer): only the
        // recorder's own work is measured.
        cpuStart = cpuSeconds();
        wall.start();
        const int64_t start = monotonicTimeUs();
        for (int i = 0; !ended && recorder.isRecording(); ++i) {
            const int64_t due = start + int64_t(i) * 33333;
            while (monotonicTimeUs() < due && !ended)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            VideoFrame f = source[size_t(i) % source.size()];
            f.captureTimeUs = monotonicTimeUs();
            f.sequence = uint64_t(i);
            recorder.pushFrame(f);
        }
    });
    const double cpu = cpuSeconds() - cpuStart;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const Recorder::Progress p = recorder.progress();
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("Real-time recording, 1920x1080 at 30 frames/s, %d s, sound 44100 Hz 16 bit stereo: %s\n",
                seconds, ok ? "ok" : "FAILED");
    std::printf("  frames written      %u\n", p.videoFrames);
    std::printf("  dropped frames      %u (%u of them because the encoders were behind)\n", p.framesDropped,
                p.framesBehind);
    std::printf("  sound               %s, %llu samples = %.3f s; video %.3f s\n", p.hasAudio ? "yes" : "NO",
                (unsigned long long)p.waveSamples, p.waveSamples / 44100.0, p.videoFrames / 30.0);
    std::printf("  sound-picture offset at the end %.1f ms; largest frame placement error %.1f ms\n",
                (p.waveSamples / 44100.0 - p.videoFrames * 0.033333) * 1000, p.maxPlacementErrorUs / 1000.0);
    std::printf("  CPU                 %.1f s in %.1f s = %.1f %% of %u cores\n", cpu, elapsed,
                100.0 * cpu / elapsed / std::thread::hardware_concurrency(),
                std::thread::hardware_concurrency());
    std::printf("  memory (RSS)        %ld MB before recording (the camera's 8 frames), peak %ld MB\n",
                baselineKb / 1024, u.ru_maxrss / 1024);
    if (rss.size() >= 10)
        std::printf("  memory over time    %ld MB at 5 s, %ld MB at %zu s\n", rss[4] / 1024,
                    rss.back() / 1024, rss.size());
    std::printf("  file                %lld MB\n", QFile(file).size() / 1000000);
    return ok ? 0 : 1;
}

int opendml() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("big.avi"));
    const std::vector<VideoFrame> source = patternFrames(QSize(1920, 1080), 4);
    Recorder recorder;
    RecorderSettings s;
    s.filePath = file;
    s.encoder = QStringLiteral("rawvideo");
    s.usPerFrame = 33333;
    if (!recorder.start(s)) return 1;
    const int frames = 200;
    const bool ok = runToEnd(recorder, [&] {
        for (int i = 0; i < frames; ++i) {
            VideoFrame f = source[size_t(i) % source.size()];
            f.captureTimeUs = 1000000 + int64_t(i) * 33333;
            recorder.pushFrame(f, true);
        }
        recorder.stop();
    });
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return 1;
    const QByteArray head = f.read(12);
    const quint32 riffSize = qFromLittleEndian<quint32>(head.constData() + 4);
    f.seek(8 + riffSize);
    const QByteArray next = f.read(12);
    const bool avix = next.startsWith("RIFF") && next.mid(8, 4) == "AVIX";
    f.close();
    AVFormatContext* raw = nullptr;
    int packets = 0;
    if (avformat_open_input(&raw, file.toLocal8Bit().constData(), nullptr, nullptr) == 0) {
        AvFormatInputPtr ctx(raw);
        AvPacketPtr pkt(av_packet_alloc());
        while (av_read_frame(ctx.get(), pkt.get()) >= 0) {
            ++packets;
            av_packet_unref(pkt.get());
        }
    }
    std::printf("OpenDML: %s, %lld MB, first RIFF %u MB, next chunk %s, %d of %d frames read back\n",
                ok ? "recorded" : "FAILED", QFileInfo(file).size() / 1000000, riffSize / 1000000,
                avix ? "RIFF AVIX" : "missing", packets, frames);
    return ok && avix && packets == frames ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 2 && args[1] == QLatin1String("throughput"))
        return throughput(args.size() > 2 ? args[2].toInt() : 1500, args.size() > 3 ? args[3].toInt() : 300);
    if (args.size() >= 2 && args[1] == QLatin1String("opendml")) return opendml();
    if (args.size() >= 2 && args[1] == QLatin1String("realtime"))
        return realtime(args.size() > 2 ? args[2].toInt() : 60, !args.contains(QLatin1String("nosound")));
    std::fprintf(
        stderr,
        "usage: bench_record throughput [frames640 frames1080] | opendml | realtime [seconds] [nosound]\n");
    return 2;
}
