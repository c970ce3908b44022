#pragma once

#include "MonotonicClock.h"
#include "RecorderSettings.h"
#include "WorkerThread.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

struct pa_simple;

// Sound from the default PulseAudio source (PipeWire's PulseAudio server works
// too), read on a thread of its own in blocks of about 20 ms.
class AudioInput {
public:
    // Called on the reading thread with whole sample blocks and the monotonic time
    // (microseconds, CLOCK_MONOTONIC) at which the block's last sample was taken.
    using Sink = std::function<void(const char* data, qsizetype bytes, std::int64_t endMonoUs)>;

    AudioInput() = default;
    ~AudioInput();
    AudioInput(const AudioInput&) = delete;
    AudioInput& operator=(const AudioInput&) = delete;

    // Connects to the sound server; blocks for as long as the connection takes.
    // False with errorText() when there is no server or it refuses the format.
    bool open(const AudioFormat& format, const QString& streamName);
    bool isOpen() const { return m_stream != nullptr; }
    // Starts the reading thread; sink is called until stop().
    void start(Sink sink);
    // Ends the reading thread (within one block) and disconnects.
    void stop();
    QString errorText() const { return m_error; }
    // Set when the server went away while reading.
    bool failed() const { return m_failed; }

private:
    void run();

    struct StreamDeleter {
        void operator()(pa_simple* s) const;
    };
    std::unique_ptr<pa_simple, StreamDeleter> m_stream;
    AudioFormat m_format;
    Sink m_sink;
    WorkerThread m_worker{"kv-sound"};
    std::atomic<bool> m_failed{false};
    QString m_error;
};
