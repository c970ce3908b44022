#include "AudioInput.h"

#include "Logging.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <vector>

void AudioInput::StreamDeleter::operator()(pa_simple* s) const {
    pa_simple_free(s);
}

AudioInput::~AudioInput() {
    stop();
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
    int error = 0;
    m_stream.reset(pa_simple_new(nullptr, "Video Kelvanor 2000", PA_STREAM_RECORD, nullptr,
                                 streamName.toUtf8().constData(), &sampleFormat, nullptr, &attr, &error));
    if (!m_stream) {
        m_error = QString::fromLocal8Bit(pa_strerror(error));
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
    m_worker.stop();
    m_stream.reset();
}

void AudioInput::run() {
    const qsizetype blockBytes = qsizetype(m_format.samplesPerSec / 50) * m_format.blockAlign();
    std::vector<char> block(static_cast<size_t>(blockBytes));
    while (!m_worker.stopRequested()) {
        int error = 0;
        if (pa_simple_read(m_stream.get(), block.data(), block.size(), &error) < 0) {
            m_error = QString::fromLocal8Bit(pa_strerror(error));
            qCDebug(lcAudio) << "sound input stopped:" << m_error;
            m_failed = true;
            return;
        }
        const std::int64_t now = monotonicTimeUs();
        const pa_usec_t latency = pa_simple_get_latency(m_stream.get(), &error);
        // Without the latency the block is taken as read the moment it arrives.
        if (latency == pa_usec_t(-1)) qCDebug(lcAudio) << "no latency from the server:" << pa_strerror(error);
        const std::int64_t endUs = now - (latency == pa_usec_t(-1) ? 0 : std::int64_t(latency));
        m_sink(block.data(), blockBytes, endUs);
    }
}
