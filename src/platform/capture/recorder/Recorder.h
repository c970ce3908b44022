#pragma once

#include "AudioInput.h"
#include "AviWriter.h"
#include "FfmpegVideoEncoder.h"
#include "JpegEncoder.h"
#include "MovieClock.h"
#include "RecorderSettings.h"
#include "VideoFrame.h"
#include "WorkerThread.h"

#include <QObject>
#include <QSize>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// Streaming capture into an AVI file. Frames are pushed from the driver's thread,
// placed on the movie's frame grid by their capture time (repeated or left out to
// fit the requested rate), encoded on worker threads (MJPEG: libjpeg-turbo, one
// JPEG per worker in parallel; a camera's own JPEG goes in unchanged when its size
// is the movie's) and written in order by the writer thread, with the sound, whose
// clock is the master when sound is recorded. Nothing here runs on the UI thread.
//
// Status goes out through status(), emitted on worker threads: connect it with a
// receiver living on the UI thread and Qt queues it there. Each recording emits
// Begin (300) first, progress (510) about once a second, and End (301) last, once
// the file is complete and closed; finished() follows End.
class Recorder : public QObject {
    Q_OBJECT
public:
    struct Progress {
        bool capturing = false;
        bool hasAudio = false;
        std::uint32_t videoFrames = 0;   // frames in the file so far, repeats included
        std::uint32_t framesDropped = 0; // slots filled by repeating the previous frame
        std::uint32_t framesBehind = 0;  // frames left out because the encoders were behind
        std::uint64_t waveSamples = 0;
        std::uint32_t elapsedMs = 0; // movie time written
        // Largest distance seen between a frame's capture time and its place in the movie.
        std::int64_t maxPlacementErrorUs = 0;
    };

    explicit Recorder(QObject* parent = nullptr);
    ~Recorder() override;

    // Starts a recording; answers at once. False when one is still running.
    bool start(const RecorderSettings& settings);
    // Any thread. A frame that finds the encoders a full queue behind is left out
    // (and its slot counted as dropped), unless wait is set: then the call waits
    // for room (used to measure the encoding speed).
    void pushFrame(const VideoFrame& frame, bool wait = false);
    // Ends the recording after the frames received so far are written.
    void stop();
    // Ends the recording now; frames still being encoded are left out.
    void abort();
    // The driver stopped delivering: ends like stop() with the driver's reason.
    void driverFailed(const QString& reason);

    bool isRecording() const { return m_active; }
    Progress progress() const;

signals:
    void status(int id, const QString& text);
    void finished(bool ok);

private:
    struct Job {
        VideoFrame frame;
        std::int64_t slot = 0;
        std::int64_t repeatsBefore = 0;
        QByteArray packet;
        enum State { Pending, Encoding, Done } state = Pending;
    };
    enum class EndReason { None, Stop, Limit, Abort, DriverError, WriteError, DiskFull, Compressor };

    void run();
    bool setUp();
    void encodeWorker();
    void requestEnd(EndReason reason, const QString& text = {});
    void commitLocked(const VideoFrame& frame, std::int64_t slot, bool last = false);
    bool writeJob(Job& job);
    bool writeVideoFrame(const QByteArray& packet, const VideoFrame& frame, std::int64_t slot);
    bool writeAudioUpTo(std::int64_t videoFrames, bool pad);
    bool diskFull();
    void finishFile();
    void onAudio(const char* data, qsizetype bytes, std::int64_t endMonoUs);
    QByteArray encodeJpeg(JpegEncoder& encoder, const VideoFrame& frame) const;
    void emitStatus(int id, const QString& text) { emit status(id, text); }
    QString summary(const Progress& p) const;
    QString withStopHint(const QString& text) const;

    RecorderSettings m_settings;
    bool m_mjpeg = true;
    std::atomic<bool> m_active{false};

    mutable std::mutex m_mutex;
    std::condition_variable m_jobsChanged;
    std::condition_variable m_roomChanged;
    bool m_ready = false; // file side set up, frames are taken
    bool m_quitWorkers = false;
    EndReason m_end = EndReason::None;
    QString m_endText;
    MovieClock m_clock;
    FramePeriod m_period;
    std::unique_ptr<FrameGrid<VideoFrame>> m_grid;
    bool m_haveOrigin = false;
    std::int64_t m_maxSlots = 0; // 0: no limit
    std::int64_t m_nextSlot = 0; // next slot handed to the encoders
    QSize m_size;
    std::deque<std::shared_ptr<Job>> m_jobs;
    size_t m_maxJobs = 8;            // frames waiting, when they are to be encoded
    size_t m_maxPassThroughJobs = 8; // camera JPEGs waiting to be written as they are
    Progress m_progress;
    std::int64_t m_startMonoUs = 0;
    // Sound read so far and not yet written: bytes from sample m_audioBufStart on.
    QByteArray m_audioBuf;
    std::int64_t m_audioBufStart = 0;
    std::int64_t m_audioSamplesRead = 0;

    // Writer thread only.
    AviWriter m_writer;
    FfmpegVideoEncoder m_ffEncoder;
    AudioInput m_audio;
    QByteArray m_lastPacket;
    VideoFrame m_lastFrame;          // decoded only for an encoder other than MJPEG
    std::int64_t m_audioWritten = 0; // samples of the sound stream in the file
    std::int64_t m_audioOriginSample = 0;
    std::int64_t m_slotsWritten = 0;
    bool m_writeFailed = false;
    bool m_diskFull = false; // writer thread only: no more frames go to the file

    // The writer ends when the recording does; the encoders when it tells them
    // (m_quitWorkers) or at an abort.
    WorkerThread m_writerThread{"kv-rec-writer"};
    std::vector<std::unique_ptr<WorkerThread>> m_encoderThreads;
};
