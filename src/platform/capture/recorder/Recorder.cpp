#include "Recorder.h"

#include "Logging.h"

extern "C" {
#include <libavutil/rational.h>
}

#include <algorithm>
#include <cmath>
#include <thread>

// The intake of a recording: starting and ending it, frames and sound coming in
// from other threads, and the encoding workers. The writer thread is in
// RecorderWriter.cpp.

namespace {

// Sound arriving this much later than its clock predicts was lost by the server
// (smaller delays are the server's own jitter, which the clock smooths out).
constexpr std::int64_t kSoundGapUs = 80000;

} // namespace

Recorder::Recorder(QObject* parent) : QObject(parent) {}

Recorder::~Recorder() {
    abort();
    m_writerThread.join();
}

bool Recorder::start(const RecorderSettings& settings) {
    if (m_active) return false;
    m_writerThread.join();
    std::lock_guard lock(m_mutex);
    m_settings = settings;
    if (m_settings.usPerFrame <= 0) m_settings.usPerFrame = 66667;
    m_mjpeg = m_settings.encoder.isEmpty() || m_settings.encoder == QLatin1String("mjpeg");
    m_ready = false;
    m_end = EndReason::None;
    m_endText.clear();
    m_clock = MovieClock();
    // Frames are placed at the times of the rate the file states, exactly.
    const AVRational rate = AviWriter::frameRateFor(m_settings);
    m_period = {rate.num, rate.den};
    m_grid = std::make_unique<FrameGrid<VideoFrame>>(m_period);
    m_haveOrigin = false;
    m_maxSlots = m_settings.timeLimitS > 0 ? m_period.slotsIn(m_settings.timeLimitS) : 0;
    m_nextSlot = 0;
    m_size = {};
    m_jobs.clear();
    m_maxJobs = 2 * std::max(1u, std::thread::hardware_concurrency()) + 4;
    // A camera's JPEG written as it is costs its bytes only (tens to hundreds of KB):
    // two seconds of them may wait for a disk that stalls, or for a writer that was
    // not scheduled, before one is lost.
    m_maxPassThroughJobs =
        std::clamp<size_t>(size_t(std::llround(2e6 / double(m_settings.usPerFrame))), m_maxJobs, 240);
    m_progress = {};
    m_progress.capturing = true;
    m_audioBuf.clear();
    m_audioBufStart = m_audioSamplesRead = 0;
    m_lastPacket.clear();
    m_lastFrame = {};
    m_audioWritten = m_audioOriginSample = 0;
    m_slotsWritten = 0;
    m_writeFailed = m_diskFull = false;
    m_active = true;
    m_writerThread.start([this] { run(); });
    return true;
}

Recorder::Progress Recorder::progress() const {
    std::lock_guard lock(m_mutex);
    Progress p = m_progress;
    p.capturing = m_active;
    return p;
}

void Recorder::stop() {
    requestEnd(EndReason::Stop);
}
void Recorder::abort() {
    requestEnd(EndReason::Abort);
}
void Recorder::driverFailed(const QString& reason) {
    requestEnd(EndReason::DriverError, reason);
}

void Recorder::requestEnd(EndReason reason, const QString& text) {
    std::lock_guard lock(m_mutex);
    if (!m_active) return;
    // A fault is reported even when a stop was asked for before it; an abort ends
    // at once whatever came before; a second stop changes nothing.
    const bool fault = reason == EndReason::WriteError || reason == EndReason::DiskFull ||
                       reason == EndReason::Compressor || reason == EndReason::DriverError;
    const bool wasEnding = m_end != EndReason::None;
    if (fault) {
        if (m_endText.isEmpty()) m_endText = text;
        if (m_end == EndReason::None || m_end == EndReason::Stop || m_end == EndReason::Limit) m_end = reason;
    } else if (reason == EndReason::Abort) {
        m_end = reason;
    } else if (!wasEnding) {
        m_end = reason;
    } else {
        return;
    }
    if (wasEnding) {
        m_jobsChanged.notify_all();
        m_roomChanged.notify_all();
        return;
    }
    if (reason != EndReason::Abort && reason != EndReason::WriteError && reason != EndReason::DiskFull &&
        reason != EndReason::Compressor && m_grid) {
        FrameGrid<VideoFrame>::Placed last;
        if (m_grid->takeCandidate(&last)) commitLocked(last.payload, last.slot, true);
    }
    m_jobsChanged.notify_all();
    m_roomChanged.notify_all();
}

void Recorder::pushFrame(const VideoFrame& frame, bool wait) {
    std::unique_lock lock(m_mutex);
    if (!m_ready || m_end != EndReason::None || !frame.isValid() || !m_clock.isReady()) {
        qCDebug(lcRecorder) << "frame" << frame.sequence << "refused:"
                            << (!frame.isValid()           ? "no picture"
                                : m_end != EndReason::None ? "the recording is ending"
                                                           : "the recording is not ready");
        return;
    }
    if (!m_haveOrigin) {
        m_clock.setOrigin(frame.captureTimeUs);
        m_haveOrigin = true;
        m_startMonoUs = frame.captureTimeUs;
        if (m_clock.usesAudio())
            m_audioOriginSample = std::llround(m_clock.originUs() * 1e-6 * m_settings.audio.samplesPerSec);
    }
    const std::int64_t movieUs = m_clock.movieUs(frame.captureTimeUs);
    if (m_maxSlots > 0 && m_grid->slotOf(movieUs) >= m_maxSlots) {
        lock.unlock();
        requestEnd(EndReason::Limit);
        return;
    }
    FrameGrid<VideoFrame>::Placed placed;
    if (!m_grid->offer(frame, movieUs, &placed)) {
        // Kept as its slot's candidate, or left out for a later one.
        qCDebug(lcRecorder) << "frame" << frame.sequence << "at" << movieUs << "us waits for its slot";
        return;
    }
    if (wait) {
        m_roomChanged.wait(lock, [this] { return m_jobs.size() < m_maxJobs || m_end != EndReason::None; });
        if (m_end != EndReason::None) return;
    }
    commitLocked(placed.payload, placed.slot);
}

void Recorder::commitLocked(const VideoFrame& frame, std::int64_t slot, bool last) {
    // A full queue means the encoders or the disk are behind: the frame is left out,
    // and its slot is filled by repeating the frame before it. The movie's last frame
    // is always taken.
    const bool passThrough =
        m_mjpeg && !frame.mjpeg().isEmpty() && (m_size.isEmpty() || frame.size() == m_size);
    if (m_jobs.size() >= (passThrough ? m_maxPassThroughJobs : m_maxJobs) && !last) {
        qCDebug(lcRecorder) << "frame" << frame.sequence << "for slot" << slot
                            << "dropped: the encoders are behind";
        ++m_progress.framesBehind;
        return;
    }
    if (m_size.isEmpty()) m_size = frame.size();
    auto job = std::make_shared<Job>();
    if (passThrough) {
        // The bytes alone: a picture the display decoded from them is not kept alive
        // by the queue.
        job->frame = VideoFrame::fromJpeg(frame.mjpeg(), frame.size(), frame.size());
        job->frame.captureTimeUs = frame.captureTimeUs;
        job->frame.sequence = frame.sequence;
    } else {
        job->frame = frame;
    }
    job->slot = slot;
    job->repeatsBefore = slot - m_nextSlot;
    m_nextSlot = slot + 1;
    const std::int64_t error = std::llabs(m_clock.movieUs(frame.captureTimeUs) - m_period.slotUs(slot));
    m_progress.maxPlacementErrorUs = std::max(m_progress.maxPlacementErrorUs, error);
    m_jobs.push_back(std::move(job));
    m_jobsChanged.notify_all();
}

void Recorder::onAudio(const char* data, qsizetype bytes, std::int64_t endMonoUs) {
    const int align = m_settings.audio.blockAlign();
    const std::int64_t samples = bytes / align;
    std::lock_guard lock(m_mutex);
    // A sound server short of CPU time may lose sound. What it lost becomes silence,
    // so that the sound after it keeps its place beside the picture.
    const std::int64_t lateUs = m_clock.lateUs(m_audioSamplesRead + samples, endMonoUs);
    if (lateUs > kSoundGapUs) {
        const std::int64_t lost = lateUs * m_settings.audio.samplesPerSec / 1000000;
        qCDebug(lcAudio) << "the server lost" << lost << "samples; silence in their place";
        if (m_audioBuf.isEmpty()) m_audioBufStart = m_audioSamplesRead;
        m_audioBuf.append(
            QByteArray(qsizetype(lost) * align, m_settings.audio.bitsPerSample == 8 ? char(0x80) : char(0)));
        m_audioSamplesRead += lost;
    }
    m_audioSamplesRead += samples;
    m_clock.addAudioAnchor(m_audioSamplesRead, endMonoUs);
    if (m_audioBuf.isEmpty()) m_audioBufStart = m_audioSamplesRead - samples;
    m_audioBuf.append(data, bytes);
    if (!m_haveOrigin) {
        // Before the first frame only the last second can still be needed.
        const qsizetype keep = qsizetype(m_settings.audio.samplesPerSec) * align;
        if (m_audioBuf.size() > keep) {
            const qsizetype drop = m_audioBuf.size() - keep;
            m_audioBuf.remove(0, drop);
            m_audioBufStart += drop / align;
        }
    }
}

QByteArray Recorder::encodeJpeg(JpegEncoder& encoder, const VideoFrame& frame) const {
    // The camera's own JPEG is stored as it is, never decoded.
    if (!frame.mjpeg().isEmpty() && frame.size() == m_size) return frame.mjpeg();
    const QImage image = frame.image();
    if (image.size() == m_size) return encoder.encode(image, m_settings.quality);
    return encoder.encode(image.scaled(m_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                          m_settings.quality);
}

void Recorder::encodeWorker() {
    JpegEncoder encoder;
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::shared_ptr<Job> job;
        m_jobsChanged.wait(lock, [&] {
            if (m_end == EndReason::Abort) return true;
            for (auto& j : m_jobs)
                if (j->state == Job::Pending) return job = j, true;
            return m_quitWorkers;
        });
        if (!job) return;
        job->state = Job::Encoding;
        lock.unlock();
        QByteArray packet = encodeJpeg(encoder, job->frame);
        lock.lock();
        job->packet = std::move(packet);
        job->state = Job::Done;
        m_jobsChanged.notify_all();
    }
}
