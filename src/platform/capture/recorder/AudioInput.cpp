#include "AudioInput.h"

#include "Logging.h"

#include <cstring>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <vector>

namespace {

// Every change of the context's or the stream's state, and data to read, wakes the
// thread waiting on the main loop.
void wake(void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

} // namespace

AudioInput::~AudioInput() {
    stop();
}

std::int64_t AudioInput::blockEndUs(std::int64_t nowUs, std::int64_t latencyUs, std::int64_t readUs) {
    return nowUs - (latencyUs - readUs);
}

bool AudioInput::open(const AudioFormat& format, const QString& streamName) {
    stop();
    m_error.clear();
    m_failed = false;
    if (!format.isValid()) {
        m_error = QStringLiteral("Unsupported sound format: %1 Hz, %2 bit, %3 channel(s)")
                      .arg(format.samplesPerSec)
                      .arg(format.bitsPerSample)
                      .arg(format.channels);
        return false;
    }
    m_format = format;
    pa_sample_spec sampleFormat{};
    sampleFormat.format = format.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
    sampleFormat.channels = std::uint8_t(format.channels);
    sampleFormat.rate = std::uint32_t(format.samplesPerSec);
    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    attr.fragsize = std::uint32_t(pa_usec_to_bytes(20000, &sampleFormat));

    m_loop = pa_threaded_mainloop_new();
    if (!m_loop || pa_threaded_mainloop_start(m_loop) < 0) {
        m_error = QString::fromLocal8Bit(pa_strerror(PA_ERR_INTERNAL));
        close();
        return false;
    }
    pa_threaded_mainloop_lock(m_loop);
    int error = PA_ERR_CONNECTIONREFUSED;
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Video Kelvanor 2000");
    if (m_context) {
        pa_context_set_state_callback(
            m_context, [](pa_context*, void* loop) { wake(loop); }, m_loop);
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) >= 0) {
            pa_context_state_t state;
            while ((state = pa_context_get_state(m_context)) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state))
                pa_threaded_mainloop_wait(m_loop);
            error = state == PA_CONTEXT_READY ? 0 : pa_context_errno(m_context);
        } else {
            error = pa_context_errno(m_context);
        }
    }
    if (error == 0) {
        m_stream = pa_stream_new(m_context, streamName.toUtf8().constData(), &sampleFormat, nullptr);
        if (!m_stream) error = pa_context_errno(m_context);
    }
    if (error == 0) {
        pa_stream_set_state_callback(
            m_stream, [](pa_stream*, void* loop) { wake(loop); }, m_loop);
        pa_stream_set_read_callback(
            m_stream, [](pa_stream*, size_t, void* loop) { wake(loop); }, m_loop);
        // The flags pa_simple used: the latency kept current and told between updates.
        const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY |
                                             PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_record(m_stream, nullptr, &attr, flags) >= 0) {
            pa_stream_state_t state;
            while ((state = pa_stream_get_state(m_stream)) != PA_STREAM_READY && PA_STREAM_IS_GOOD(state))
                pa_threaded_mainloop_wait(m_loop);
            if (state != PA_STREAM_READY) error = pa_context_errno(m_context);
        } else {
            error = pa_context_errno(m_context);
        }
    }
    pa_threaded_mainloop_unlock(m_loop);
    if (error != 0) {
        m_error = QString::fromLocal8Bit(pa_strerror(error));
        close();
        return false;
    }
    return true;
}

void AudioInput::start(Sink sink) {
    if (!m_stream || m_worker.isRunning()) return;
    m_sink = std::move(sink);
    m_worker.start([this] { run(); });
}

void AudioInput::stop() {
    m_worker.requestStop();
    // A reader waiting for sound wakes up and sees the request.
    if (m_loop) {
        pa_threaded_mainloop_lock(m_loop);
        pa_threaded_mainloop_signal(m_loop, 0);
        pa_threaded_mainloop_unlock(m_loop);
    }
    m_worker.stop();
    close();
}

void AudioInput::close() {
    if (m_loop) pa_threaded_mainloop_stop(m_loop);
    if (m_stream) {
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    if (m_loop) pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
    m_fragment = nullptr;
    m_fragmentBytes = m_fragmentRead = 0;
}

// Fills data with the next bytes of sound; the main loop is locked. False when the
// stream failed (m_error says why) or a stop was asked for.
bool AudioInput::read(char* data, std::size_t bytes) {
    while (bytes > 0) {
        if (!m_fragment) {
            if (pa_stream_get_state(m_stream) != PA_STREAM_READY) {
                m_error = QString::fromLocal8Bit(pa_strerror(pa_context_errno(m_context)));
                return false;
            }
            const void* fragment = nullptr;
            std::size_t size = 0;
            if (pa_stream_peek(m_stream, &fragment, &size) < 0) {
                m_error = QString::fromLocal8Bit(pa_strerror(pa_context_errno(m_context)));
                return false;
            }
            if (size == 0) {
                if (m_worker.stopRequested()) return false;
                pa_threaded_mainloop_wait(m_loop);
                continue;
            }
            if (!fragment) { // a hole in the stream: nothing to read there
                pa_stream_drop(m_stream);
                continue;
            }
            m_fragment = static_cast<const char*>(fragment);
            m_fragmentBytes = size;
            m_fragmentRead = 0;
        }
        const std::size_t n = std::min(bytes, m_fragmentBytes - m_fragmentRead);
        std::memcpy(data, m_fragment + m_fragmentRead, n);
        data += n;
        bytes -= n;
        m_fragmentRead += n;
        if (m_fragmentRead == m_fragmentBytes) {
            pa_stream_drop(m_stream);
            m_fragment = nullptr;
            m_fragmentBytes = m_fragmentRead = 0;
        }
    }
    return true;
}

void AudioInput::run() {
    const qsizetype blockBytes = qsizetype(m_format.samplesPerSec / 50) * m_format.blockAlign();
    std::vector<char> block(static_cast<size_t>(blockBytes));
    while (!m_worker.stopRequested()) {
        pa_threaded_mainloop_lock(m_loop);
        if (!read(block.data(), block.size())) {
            pa_threaded_mainloop_unlock(m_loop);
            if (m_worker.stopRequested()) return;
            qCDebug(lcAudio) << "sound input stopped:" << m_error;
            m_failed = true;
            return;
        }
        const std::int64_t now = monotonicTimeUs();
        pa_usec_t latency = 0;
        int negative = 0;
        const bool known = pa_stream_get_latency(m_stream, &latency, &negative) >= 0;
        const std::int64_t readUs =
            std::int64_t(pa_bytes_to_usec(m_fragmentRead, pa_stream_get_sample_spec(m_stream)));
        pa_threaded_mainloop_unlock(m_loop);
        // Without the latency (before the server's first timing answer) the block is
        // taken as read the moment it arrives.
        if (!known) qCDebug(lcAudio) << "no latency from the server yet";
        const std::int64_t signedLatency = negative ? -std::int64_t(latency) : std::int64_t(latency);
        m_sink(block.data(), blockBytes, known ? blockEndUs(now, signedLatency, readUs) : now);
    }
}
