// bench_record throughput [frames640] [frames1080]
//   Records the test pattern as fast as the recorder takes it (640x480 and
//   1920x1080) and runs ffmpeg's own MJPEG encoder on its test source of the same
//   size; prints frames per second of both and the ratio.
// bench_record opendml
//   Records 200 uncompressed 1920x1080 frames (1.2 GB) and checks that the file
//   went on in an OpenDML AVIX RIFF chunk and that every frame reads back.
// bench_record long [minutes] [folder]
//   Records a camera's 1920x1080 MJPEG at 30 frames per second, its JPEG passed into
//   the movie as it comes, with sound from the default PulseAudio source, for the
//   minutes given (60 by default) into the folder (a fresh one in /tmp by default).
//   Prints every minute the frames and dropped frames, the CPU use of that minute,
//   resident memory, open descriptors, the file's size and the disk's free space;
//   then reads the movie back whole: the frames the header states against the frames
//   decoded, and past 1 GB the OpenDML chunk. Memory and descriptors must stay flat.
// bench_record realtime [seconds]
//   Records 1920x1080 at 30 frames per second in real time with sound from the
//   default PulseAudio source; prints dropped frames, CPU use, memory over time and
//   the offset between sound and picture.

#include "AviProbe.h"
#include "drivers/TestPattern.h"
#include "recorder/Recorder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
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
#include <sys/statvfs.h>
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

int openDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

long long freeMb(const QString& folder) {
    struct statvfs v {};
    if (statvfs(folder.toLocal8Bit().constData(), &v) != 0) return -1;
    return (long long)v.f_bavail * (long long)v.f_frsize / 1000000;
}

// Whether the file goes on past its first RIFF chunk in an OpenDML AVIX chunk.
bool hasAvix(const QString& file, quint32* firstRiffBytes) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(12);
    if (head.size() < 12) return false;
    *firstRiffBytes = qFromLittleEndian<quint32>(head.constData() + 4);
    f.seek(8 + qint64(*firstRiffBytes));
    const QByteArray next = f.read(12);
    return next.startsWith("RIFF") && next.mid(8, 4) == "AVIX";
}

int longRecording(int minutes, const QString& folderArg) {
    QTemporaryDir scratch;
    const QString folder = folderArg.isEmpty() ? scratch.path() : folderArg;
    QDir().mkpath(folder);
    const QString file = QDir(folder).filePath(QStringLiteral("long.avi"));
    // The camera's JPEGs: eight pictures of the test pattern, as a webcam sends them.
    std::vector<VideoFrame> source;
    for (const VideoFrame& f : patternFrames(QSize(1920, 1080), 8)) {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        f.image().save(&buffer, "JPG", 80);
        source.push_back(VideoFrame::fromJpeg(jpeg, f.size(), f.size()));
    }
    Recorder recorder;
    RecorderSettings s;
    s.filePath = file;
    s.usPerFrame = 33333;
    s.timeLimitS = minutes * 60;
    s.captureAudio = true;
    s.audio = {2, 44100, 16};
    if (!recorder.start(s)) return 1;
    std::printf(
        "Long recording: 1920x1080 MJPEG passed through at 30 frames/s, sound 44100 Hz 16 bit stereo, %d "
        "min, into %s\n",
        minutes, qPrintable(folder));
    std::printf("%6s %8s %8s %6s %10s %5s %10s %10s\n", "minute", "frames", "dropped", "CPU %", "resident",
                "fds", "file MB", "free MB");
    std::fflush(stdout);
    std::atomic<bool> ended{false};
    QObject::connect(&recorder, &Recorder::finished, [&] { ended = true; });
    QElapsedTimer wall;
    double lastCpu = 0, lastWall = 0;
    long firstKb = 0;
    int firstFds = 0, minute = 0;
    long maxKbGrowth = 0;
    int maxFdGrowth = 0;
    auto sample = [&] {
        ++minute;
        const double cpu = cpuSeconds(), now = wall.nsecsElapsed() / 1e9;
        const Recorder::Progress p = recorder.progress();
        const long kb = rssKb();
        const int fds = openDescriptors();
        if (minute == 1) {
            firstKb = kb;
            firstFds = fds;
        }
        maxKbGrowth = std::max(maxKbGrowth, kb - firstKb);
        maxFdGrowth = std::max(maxFdGrowth, fds - firstFds);
        std::printf("%6d %8u %8u %6.1f %7ld MB %5d %10lld %10lld\n", minute, p.videoFrames, p.framesDropped,
                    100.0 * (cpu - lastCpu) / std::max(1e-9, now - lastWall) /
                        std::thread::hardware_concurrency(),
                    kb / 1024, fds, QFileInfo(file).size() / 1000000, freeMb(folder));
        std::fflush(stdout);
        lastCpu = cpu;
        lastWall = now;
    };
    QTimer everyMinute;
    QObject::connect(&everyMinute, &QTimer::timeout, sample);
    wall.start();
    lastCpu = cpuSeconds();
    everyMinute.start(60000);
    const bool ok = runToEnd(recorder, [&] {
        const int64_t start = monotonicTimeUs();
        for (int i = 0; !ended && recorder.isRecording(); ++i) {
            const int64_t due = start + int64_t(i) * 33333;
            while (monotonicTimeUs() < due && !ended)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            VideoFrame f = source[size_t(i) % source.size()];
            f.captureTimeUs = due; // stamped when taken, as the kernel stamps a camera's frame
            f.sequence = uint64_t(i);
            recorder.pushFrame(f);
        }
    });
    everyMinute.stop();
    const Recorder::Progress p = recorder.progress();
    quint32 firstRiff = 0;
    const bool avix = hasAvix(file, &firstRiff);
    const qint64 bytes = QFileInfo(file).size();
    const AviProbe probe = AviProbe::read(file);
    const bool readBack = probe.opened && probe.headerFrames == probe.decodedFrames() &&
                          probe.headerFrames == int64_t(p.videoFrames) && probe.audioStreams == 1;
    const bool opendmlOk = bytes < 1000000000LL || avix;
    std::printf("recorded: %s; %u frames, %u dropped (%u of them while the writer was behind); the file %lld "
                "MB, %lld MB left on its disk\n",
                ok ? "ok" : "FAILED", p.videoFrames, p.framesDropped, p.framesBehind, bytes / 1000000,
                freeMb(folder));
    std::printf("read back: %lld frames in the header, %d decoded, sound %s: %s\n",
                (long long)probe.headerFrames, probe.decodedFrames(), probe.audioStreams == 1 ? "yes" : "NO",
                readBack ? "whole" : "NOT WHOLE");
    std::printf("OpenDML: first RIFF %u MB, next chunk %s%s\n", firstRiff / 1000000,
                avix ? "RIFF AVIX" : "none", bytes < 1000000000LL ? " (under 1 GB: none needed)" : "");
    std::printf(
        "after the first minute: resident memory at most %+ld MB, descriptors at most %+d (goal: flat)\n",
        maxKbGrowth / 1024, maxFdGrowth);
    return ok && readBack && opendmlOk ? 0 : 1;
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
    if (args.size() >= 2 && args[1] == QLatin1String("long"))
        return longRecording(args.size() > 2 ? args[2].toInt() : 60, args.size() > 3 ? args[3] : QString());
    if (args.size() >= 2 && args[1] == QLatin1String("realtime"))
        return realtime(args.size() > 2 ? args[2].toInt() : 60, !args.contains(QLatin1String("nosound")));
    std::fprintf(stderr, "usage: bench_record throughput [frames640 frames1080] | opendml | realtime "
                         "[seconds] [nosound] | long "
                         "[minutes] [folder]\n");
    return 2;
}
