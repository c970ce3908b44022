#pragma once

#include "MonotonicClock.h"
#include "RecorderSettings.h"
#include "WorkerThread.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

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

    // The monotonic time at which the sample after a block read at nowUs was taken,
    // from the stream's latency as the server states it with its sign: positive for a
    // microphone (the sound waited in the card and the server), negative for a sink's
    // monitor (the server hands out what the sink is going to play before it plays it,
    // and the sound is heard when it plays). Of a fragment the server handed over, the
    // part already read (readUs) no longer waits.
    static std::int64_t blockEndUs(std::int64_t nowUs, std::int64_t latencyUs, std::int64_t readUs);

private:
    void run();
    void close();
    bool read(char* data, std::size_t bytes);

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    // The fragment being read: pa_stream_peek's data, its size, and how much is read.
    const char* m_fragment = nullptr;
    std::size_t m_fragmentBytes = 0, m_fragmentRead = 0;
    AudioFormat m_format;
    Sink m_sink;
    WorkerThread m_worker{"kv-sound"};
    std::atomic<bool> m_failed{false};
    QString m_error;
};
