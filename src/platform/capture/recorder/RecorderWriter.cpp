#include "Recorder.h"

#include "DiskSpace.h"
#include "Logging.h"

#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cmath>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
}

// The writer thread of a recording: setting up, writing frames and sound in
// order, flushing, watching the disk, and finishing the file.

namespace {
using namespace std::chrono_literals;

QString seconds3(std::int64_t ms) {
    return QStringLiteral("%1.%2").arg(ms / 1000).arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

// Free bytes where the file is; a query that fails does not stop the recording.
std::int64_t freeBytes(const QString& filePath) {
    const std::optional<std::uint64_t> free = DiskSpace::freeBytesFor(QFileInfo(filePath).absoluteFilePath());
    if (!free) {
        qCDebug(lcRecorder) << "free space of" << filePath << "unknown; recording on";
        return INT64_MAX;
    }
    return std::int64_t(std::min<std::uint64_t>(*free, std::uint64_t(INT64_MAX)));
}
} // namespace

bool Recorder::setUp() {
    const QString& path = m_settings.filePath;
    // A capture that cannot start is over before it says why.
    auto fail = [this](int id, const QString& text) {
        m_active = false;
        emitStatus(id, text);
        return false;
    };
    {
        // Creating the file now reports a bad path before the first frame; the
        // muxer replaces it once the first frame gives the movie its size.
        QFile probe(path);
        if (path.isEmpty() || !probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return fail(RecorderStatusId::CantOpen,
                        QStringLiteral("Cannot open '%1' for capture: %2").arg(path, probe.errorString()));
        }
    }
    if (freeBytes(path) < m_settings.reserveBytes) {
        QFile::remove(path);
        return fail(RecorderStatusId::NoDiskSpace,
                    QStringLiteral("There is no space to create a capture file on the specified device."));
    }
    if (!m_mjpeg && !avcodec_find_encoder_by_name(m_settings.encoder.toLatin1().constData())) {
        QFile::remove(path);
        return fail(RecorderStatusId::CompressorError,
                    QStringLiteral("The video compressor '%1' is not installed.").arg(m_settings.encoder));
    }
    bool withSound = false;
    if (m_settings.captureAudio) {
        if (m_audio.open(m_settings.audio, QStringLiteral("Movie sound"))) {
            withSound = true;
        } else {
            emitStatus(RecorderStatusId::WaveOpenError,
                       QStringLiteral("No sound: %1. The movie is recorded without sound.")
                           .arg(m_audio.errorText()));
        }
    }
    {
        std::lock_guard lock(m_mutex);
        if (withSound) m_clock.useAudio(m_settings.audio.samplesPerSec);
        m_progress.hasAudio = withSound;
        m_quitWorkers = false;
        m_ready = true;
    }
    if (withSound)
        m_audio.start(
            [this](const char* data, qsizetype bytes, std::int64_t endUs) { onAudio(data, bytes, endUs); });
    return true;
}

bool Recorder::diskFull() {
    // Room for what is still buffered, the index (16 bytes an entry in each of two
    // indexes) and the final headers.
    const std::int64_t needed =
        m_settings.reserveBytes + 32 * (m_slotsWritten + m_audioWritten / 256) + 65536;
    return freeBytes(m_settings.filePath) < needed;
}

bool Recorder::writeVideoFrame(const QByteArray& packet, const VideoFrame& frame, std::int64_t slot) {
    bool ok;
    if (m_mjpeg) {
        ok = m_writer.writeVideo(packet, true);
    } else {
        ok = m_ffEncoder.encode(frame.image(), slot,
                                [this](AVPacket* pkt) { return m_writer.writeVideoPacket(pkt); });
        if (!ok && m_writer.errorText().isEmpty()) {
            requestEnd(
                EndReason::Compressor,
                QStringLiteral("The video compressor '%1' failed on a frame.").arg(m_settings.encoder));
            m_writeFailed = true;
            return false;
        }
    }
    if (!ok) {
        requestEnd(
            EndReason::WriteError,
            QStringLiteral("Unable to write to file '%1'. Disk may be full.").arg(m_settings.filePath));
        m_writeFailed = true;
        return false;
    }
    ++m_slotsWritten;
    return true;
}

bool Recorder::writeJob(Job& job) {
    // Once the disk is full the frames still queued are left out: the room that
    // is left belongs to the index and the headers.
    if (m_writeFailed || m_diskFull) {
        qCDebug(lcRecorder) << "frame for slot" << job.slot << "left out: the file cannot take more";
        return false;
    }
    if (!m_writer.isOpen()) {
        const AVRational rate = AviWriter::frameRateFor(m_settings);
        if (!m_mjpeg && !m_ffEncoder.open(m_settings.encoder, m_size.width(), m_size.height(), rate,
                                          m_settings.quality)) {
            requestEnd(EndReason::Compressor, m_ffEncoder.errorText());
            m_writeFailed = true;
            return false;
        }
        std::optional<AudioFormat> sound;
        if (m_progress.hasAudio) sound = m_settings.audio;
        if (!m_writer.open(m_settings.filePath, m_size.width(), m_size.height(), rate,
                           m_mjpeg ? nullptr : m_ffEncoder.context(), sound)) {
            requestEnd(EndReason::WriteError, m_writer.errorText());
            m_writeFailed = true;
            return false;
        }
    }
    if (!m_mjpeg && job.frame.image().isNull()) {
        // A camera's JPEG that does not decode: treat it as a frame not delivered.
        if (!m_lastFrame.isValid()) return true;
        job.frame = m_lastFrame;
    }
    if (m_mjpeg && job.packet.isEmpty()) {
        // The encoder failed on this picture: treat it as a frame not delivered.
        qCDebug(lcRecorder) << "frame for slot" << job.slot << "dropped: the JPEG encoder failed on it";
        job.packet = m_lastPacket;
        if (job.packet.isEmpty()) return true;
    }
    if (job.repeatsBefore > 0 && m_lastFrame.isValid())
        qCDebug(lcRecorder) << job.repeatsBefore << "slot(s) before" << job.slot
                            << "without a frame: the previous frame repeated";
    for (std::int64_t i = 0; i < job.repeatsBefore && m_lastFrame.isValid(); ++i) {
        if (!writeVideoFrame(m_lastPacket, m_lastFrame, job.slot - job.repeatsBefore + i)) return false;
        std::lock_guard lock(m_mutex);
        ++m_progress.framesDropped;
    }
    if (!writeVideoFrame(job.packet, job.frame, job.slot)) return false;
    m_lastPacket = job.packet;
    m_lastFrame = job.frame;
    return writeAudioUpTo(m_slotsWritten, false);
}

bool Recorder::writeAudioUpTo(std::int64_t videoFrames, bool pad) {
    if (!m_progress.hasAudio || !m_writer.isOpen() || m_writeFailed) return true;
    const AudioFormat& fmt = m_settings.audio;
    const int align = fmt.blockAlign();
    const char silentByte = fmt.bitsPerSample == 8 ? char(0x80) : char(0);
    // The sound that belongs to the frames written so far, in samples.
    const std::int64_t target = m_period.samplesFor(videoFrames, fmt.samplesPerSec);
    for (;;) {
        QByteArray chunk;
        {
            std::lock_guard lock(m_mutex);
            const std::int64_t next = m_audioOriginSample + m_audioWritten;
            const std::int64_t wanted = target - m_audioWritten;
            if (wanted <= 0) return true;
            if (m_audioBufStart < next) {
                const qsizetype drop =
                    std::min<qsizetype>(m_audioBuf.size(), qsizetype(next - m_audioBufStart) * align);
                m_audioBuf.remove(0, drop);
                m_audioBufStart += drop / align;
                if (m_audioBuf.isEmpty()) m_audioBufStart = std::max(m_audioBufStart, next);
            }
            if (m_audioBufStart > next && !m_audioBuf.isEmpty()) {
                // Sound missing before the buffer (it started late) is silence.
                chunk = QByteArray(qsizetype(std::min(wanted, m_audioBufStart - next)) * align, silentByte);
            } else if (!m_audioBuf.isEmpty()) {
                const std::int64_t take = std::min<std::int64_t>(wanted, m_audioBuf.size() / align);
                chunk = m_audioBuf.left(qsizetype(take) * align);
                m_audioBuf.remove(0, chunk.size());
                m_audioBufStart += take;
            } else if (pad) {
                chunk = QByteArray(qsizetype(wanted) * align, silentByte);
            } else {
                return true;
            }
        }
        if (!m_writer.writeAudio(chunk.constData(), chunk.size())) {
            requestEnd(
                EndReason::WriteError,
                QStringLiteral("Unable to write to file '%1'. Disk may be full.").arg(m_settings.filePath));
            m_writeFailed = true;
            return false;
        }
        m_audioWritten += chunk.size() / align;
        std::lock_guard lock(m_mutex);
        m_progress.waveSamples = std::uint64_t(m_audioWritten);
    }
}

QString Recorder::withStopHint(const QString& text) const {
    return m_settings.stopHint.isEmpty() ? text : text + QStringLiteral("  ") + m_settings.stopHint;
}

QString Recorder::summary(const Progress& p) const {
    const std::int64_t ms = m_period.slotUs(p.videoFrames) / 1000;
    const std::int64_t milliFps = ms > 0 ? std::int64_t(p.videoFrames) * 1000000 / ms : 0;
    QString text = QStringLiteral("Captured %1 sec.  %2 frames (%3 dropped) (%4 fps).")
                       .arg(seconds3(ms))
                       .arg(p.videoFrames)
                       .arg(p.framesDropped)
                       .arg(seconds3(milliFps));
    if (p.hasAudio) {
        const int sps = m_settings.audio.samplesPerSec;
        text += QStringLiteral("  %1 audio bytes (%2,%3 sps)")
                    .arg(p.waveSamples * std::uint64_t(m_settings.audio.blockAlign()))
                    .arg(sps / 1000)
                    .arg(sps % 1000, 3, 10, QLatin1Char('0'));
    }
    return text;
}

void Recorder::run() {
    if (!setUp()) {
        // setUp has said why; its last status already found the capture over.
        emit finished(false);
        return;
    }
    QString start = QStringLiteral("Capture Start");
    if (!m_settings.rateNote.isEmpty())
        start += QStringLiteral(". ") + m_settings.rateNote; // the note ends its sentence
    else if (!m_settings.stopHint.isEmpty())
        start += QLatin1Char('.');
    emitStatus(RecorderStatusId::Begin, withStopHint(start));
    if (m_mjpeg) {
        const unsigned n = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < n; ++i) {
            m_encoderThreads.push_back(std::make_unique<WorkerThread>("kv-rec-jpeg"));
            m_encoderThreads.back()->start([this] { encodeWorker(); });
        }
    }
    auto lastFlush = std::chrono::steady_clock::now();
    auto lastProgress = lastFlush;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_end == EndReason::Abort) break;
        if (!m_jobs.empty() && (m_jobs.front()->state == Job::Done || !m_mjpeg)) {
            std::shared_ptr<Job> job = m_jobs.front();
            m_jobs.pop_front();
            m_roomChanged.notify_all();
            lock.unlock();
            writeJob(*job);
            {
                std::lock_guard progressLock(m_mutex);
                m_progress.videoFrames = std::uint32_t(m_slotsWritten);
                m_progress.elapsedMs = std::uint32_t(m_period.slotUs(m_slotsWritten) / 1000);
            }
            if (!m_writeFailed && !m_diskFull && m_writer.isOpen() && diskFull()) {
                m_diskFull = true;
                requestEnd(EndReason::DiskFull,
                           QStringLiteral("The disk is full: the capture stopped with %1 "
                                          "frames, which the file keeps.")
                               .arg(m_slotsWritten));
            }
            lock.lock();
            continue;
        }
        if (m_end != EndReason::None && m_jobs.empty()) break;
        if (m_writeFailed && m_end != EndReason::None) break;
        m_jobsChanged.wait_for(lock, 50ms);
        lock.unlock();
        const auto now = std::chrono::steady_clock::now();
        if (m_audio.failed() && m_progress.hasAudio)
            emitStatus(RecorderStatusId::WaveOpenError,
                       QStringLiteral("The sound input stopped: %1").arg(m_audio.errorText()));
        if (m_audio.failed()) m_audio.stop();
        writeAudioUpTo(m_slotsWritten, false);
        if (now - lastFlush >= 500ms && m_writer.isOpen() && !m_writeFailed) {
            lastFlush = now;
            if (!m_writer.flush()) {
                m_writeFailed = true;
                requestEnd(EndReason::WriteError,
                           QStringLiteral("Unable to write to file '%1'. Disk may be full.")
                               .arg(m_settings.filePath));
            }
        }
        if (now - lastProgress >= 1s) {
            lastProgress = now;
            const Progress p = progress();
            emitStatus(RecorderStatusId::VideoCurrent,
                       withStopHint(QStringLiteral("Captured %1 frames (%2 dropped) %3 sec.")
                                        .arg(p.videoFrames)
                                        .arg(p.framesDropped)
                                        .arg(seconds3(p.elapsedMs))));
        }
        lock.lock();
        // A camera that stops delivering must not hold a time-limited recording open.
        if (m_maxSlots > 0 && m_haveOrigin && m_end == EndReason::None &&
            m_clock.movieUs(monotonicTimeUs()) >= m_period.slotUs(m_maxSlots + 1)) {
            lock.unlock();
            requestEnd(EndReason::Limit);
            lock.lock();
        }
    }
    m_quitWorkers = true;
    const EndReason reason = m_end;
    if (reason == EndReason::Abort) m_jobs.clear();
    m_jobsChanged.notify_all();
    lock.unlock();
    for (auto& encoder : m_encoderThreads)
        encoder->join();
    m_encoderThreads.clear();
    finishFile();
}

void Recorder::finishFile() {
    const EndReason reason = m_end;
    // A time limit gives the movie its full length even when the camera fell silent.
    if (reason == EndReason::Limit && m_writer.isOpen() && !m_writeFailed) {
        if (m_slotsWritten < m_maxSlots && m_lastFrame.isValid())
            qCDebug(lcRecorder) << m_maxSlots - m_slotsWritten
                                << "slot(s) to the time limit without a frame: the last frame repeated";
        while (m_slotsWritten < m_maxSlots && m_lastFrame.isValid()) {
            if (!writeVideoFrame(m_lastPacket, m_lastFrame, m_slotsWritten)) break;
            std::lock_guard lock(m_mutex);
            ++m_progress.framesDropped;
        }
    }
    if (!m_mjpeg && m_writer.isOpen() && !m_writeFailed)
        m_ffEncoder.flush([this](AVPacket* pkt) { return m_writer.writeVideoPacket(pkt); });
    writeAudioUpTo(m_slotsWritten, true);
    m_audio.stop();

    bool ok = !m_writeFailed;
    QString endText;
    QString finishError;
    // A file without a single frame is no movie: it is removed.
    const bool hadFile = m_writer.isOpen() && m_slotsWritten > 0;
    if (m_writer.isOpen() && !m_writer.finish() && ok) {
        ok = false;
        finishError = m_writer.errorText();
    }
    if (!hadFile) QFile::remove(m_settings.filePath);
    Progress p;
    {
        std::lock_guard lock(m_mutex);
        m_progress.videoFrames = std::uint32_t(m_slotsWritten);
        m_progress.elapsedMs = std::uint32_t(m_period.slotUs(m_slotsWritten) / 1000);
        m_progress.capturing = false;
        m_ready = false;
        p = m_progress;
        endText = m_endText;
    }
    // A file whose index and headers could not be written is the worst news of
    // the recording: it comes after whatever else ended it.
    if (!finishError.isEmpty())
        endText = endText.isEmpty() ? finishError : endText + QLatin1Char(' ') + finishError;
    if (reason == EndReason::DriverError) {
        endText = QStringLiteral("The capture driver stopped: %1.").arg(endText);
        ok = false;
    }
    const int errorId = reason == EndReason::DiskFull      ? RecorderStatusId::NoDiskSpace
                        : reason == EndReason::DriverError ? RecorderStatusId::DriverError
                        : reason == EndReason::Compressor  ? RecorderStatusId::CompressorError
                                                           : RecorderStatusId::WriteError;
    if (!hadFile) {
        // Nothing was written: say why, and that there is no file. The capture is
        // over before its last status goes out, so whoever reads the status then
        // sees it ended.
        m_active = false;
        emitStatus(endText.isEmpty() ? RecorderStatusId::NoFrameCaptured : errorId,
                   endText.isEmpty() ? QStringLiteral("No frames were captured; no file was written.")
                   : endText.endsWith(QLatin1Char('.')) ? endText + QStringLiteral(" No file was written.")
                                                        : endText + QStringLiteral(". No file was written."));
        emit finished(false);
        return;
    }
    if (!endText.isEmpty()) emitStatus(errorId, endText);
    const QString summaryText = summary(p);
    emitStatus(p.hasAudio ? RecorderStatusId::VideoAudio : RecorderStatusId::VideoOnly, summaryText);
    QString finalText = endText.isEmpty() ? summaryText : endText + QLatin1Char(' ') + summaryText;
    // Sound was asked for but none came: the last text the user sees must say so.
    if (m_settings.captureAudio && !p.hasAudio)
        finalText += QStringLiteral(" The movie has no sound: no sound source could be opened.");
    const std::uint32_t total = p.videoFrames;
    if (total > 0 &&
        std::uint64_t(p.framesDropped) * 100 > std::uint64_t(m_settings.percentDropForError) * total) {
        const std::uint64_t hundredths = std::uint64_t(p.framesDropped) * 10000 / total;
        const QString warning = QStringLiteral("Dropped %1 of %2 frames (%3.%4%) during capture.")
                                    .arg(p.framesDropped)
                                    .arg(total)
                                    .arg(hundredths / 100)
                                    .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
        emitStatus(RecorderStatusId::FramesDropped, warning);
        finalText = warning + QLatin1Char(' ') + finalText;
    }
    m_active = false;
    if (!m_settings.rateNote.isEmpty()) finalText = m_settings.rateNote + QLatin1Char(' ') + finalText;
    emitStatus(RecorderStatusId::End, QStringLiteral("Capture End. ") + finalText);
    emit finished(ok);
}
