#include "TestPatternDriver.h"

#include "Logging.h"
#include "MonotonicClock.h"
#include "TestPattern.h"

#include <QDateTime>
#include <chrono>

TestPatternDriver::TestPatternDriver() {
    m_format.fourcc = kFourcc;
    m_format.size = QSize(320, 240); // the classic capture size; fits the main window
    m_format.interval = {1, 30};
    m_brightness = TestPattern::kBrightnessDefault;
}

TestPatternDriver::~TestPatternDriver() {
    close();
}

QString TestPatternDriver::driverName() {
    return QStringLiteral("Kelvanor Test Pattern");
}

QString TestPatternDriver::driverVersion() {
    return QStringLiteral("1.0");
}

std::vector<QSize> TestPatternDriver::sizes() {
    return {{160, 120}, {176, 144},  {320, 240},  {352, 288},   {640, 480},
            {800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}};
}

bool TestPatternDriver::open() {
    m_open = true;
    return true;
}

void TestPatternDriver::close() {
    stop();
    m_open = false;
}

std::vector<FormatOption> TestPatternDriver::formats() const {
    std::vector<FrameInterval> intervals;
    for (int rate = kMinRate; rate <= kMaxRate; ++rate)
        intervals.push_back({1, std::uint32_t(rate)});
    std::vector<FormatOption> options;
    for (QSize size : sizes())
        options.push_back({kFourcc, QStringLiteral("32-bit RGB"), size, intervals});
    return options;
}

bool TestPatternDriver::setFormat(const VideoFormat& format) {
    if (isStreaming()) {
        m_lastError = QStringLiteral("The format cannot change while the camera streams.");
        return false;
    }
    const auto all = sizes();
    const bool sizeOk = std::find(all.begin(), all.end(), format.size) != all.end();
    const double rate = format.interval.framesPerSecond();
    if (format.fourcc != kFourcc || !sizeOk || rate < kMinRate || rate > kMaxRate) {
        m_lastError = QStringLiteral("The test pattern does not offer this format.");
        return false;
    }
    m_format = format;
    return true;
}

std::vector<DriverControl> TestPatternDriver::controls() const {
    DriverControl pattern;
    pattern.id = PatternControl;
    pattern.name = QStringLiteral("Pattern");
    pattern.kind = DriverControl::Kind::Menu;
    pattern.minimum = 0;
    pattern.maximum = TestPattern::PatternCount - 1;
    pattern.defaultValue = TestPattern::ColourBars;
    pattern.value = m_pattern;
    for (int i = 0; i < TestPattern::PatternCount; ++i)
        pattern.menuItems << QString::fromLatin1(TestPattern::patternName(i));

    DriverControl brightness;
    brightness.id = BrightnessControl;
    brightness.name = QStringLiteral("Brightness");
    brightness.kind = DriverControl::Kind::Slider;
    brightness.minimum = TestPattern::kBrightnessMin;
    brightness.maximum = TestPattern::kBrightnessMax;
    brightness.defaultValue = TestPattern::kBrightnessDefault;
    brightness.value = m_brightness;
    return {pattern, brightness};
}

bool TestPatternDriver::setControl(std::uint32_t id, int value) {
    switch (id) {
    case PatternControl:
        if (value < 0 || value >= TestPattern::PatternCount) return false;
        m_pattern = value;
        return true;
    case BrightnessControl:
        if (value < TestPattern::kBrightnessMin || value > TestPattern::kBrightnessMax) return false;
        m_brightness = value;
        return true;
    default:
        return false;
    }
}

bool TestPatternDriver::start(FrameCallback onFrame, ErrorCallback) {
    if (!m_open || isStreaming()) return false;
    m_worker.start([this, onFrame = std::move(onFrame)] { run(onFrame); });
    return true;
}

void TestPatternDriver::stop() {
    m_worker.stop();
}

// Frames are due at fixed steps of the frame interval from the start; the frame
// number is the step, and each frame carries the instant it was due, as a camera's
// frames carry the kernel's stamp of their capture (uvcvideo stamps a buffer at the
// frame's first packet), not the moment a busy reader got to them. A worker that
// falls behind still delivers the frames of the last kQueuedFrames steps, as a V4L2
// driver keeps its filled buffers for a reader that is late; older ones are lost and
// the numbers jump, as the kernel's sequence count does for a frame that found no
// free buffer.
void TestPatternDriver::run(FrameCallback onFrame) {
    using Clock = std::chrono::steady_clock; // CLOCK_MONOTONIC
    const VideoFormat format = m_format;
    const std::int64_t periodUs = std::int64_t(format.interval.numerator) * 1000000 /
                                  std::max<std::uint32_t>(1, format.interval.denominator);
    const auto period = std::chrono::microseconds(periodUs);
    const auto startTime = Clock::now();
    const std::int64_t startUs = monotonicTimeUs();
    std::uint64_t sequence = 0;
    for (;;) {
        if (!m_worker.sleepUntil(startTime + period * std::int64_t(sequence))) return;
        VideoFrame frame(
            TestPattern::render(format.size, m_pattern, m_brightness, sequence, QTime::currentTime()));
        frame.captureTimeUs = startUs + std::int64_t(sequence) * periodUs;
        frame.sequence = sequence;
        onFrame(frame);
        // The newest step that is due now, and the oldest one still kept.
        const auto due = std::uint64_t((Clock::now() - startTime) / period);
        const std::uint64_t kept = due >= kQueuedFrames ? due - (kQueuedFrames - 1) : 0;
        if (kept > sequence + 1)
            qCDebug(lcTestPattern) << "behind: frames" << sequence + 1 << "to" << kept - 1 << "lost";
        sequence = std::max(sequence + 1, kept);
    }
}
