#pragma once

#include "CaptureDriver.h"
#include "WorkerThread.h"

#include <atomic>
#include <cstdint>

// The built-in camera: draws TestPattern pictures at the chosen size and rate, in
// real time on its own worker thread. Always present; needs no hardware. It offers
// overlay and all three dialogs so that every path of the program can run without a
// camera.
class TestPatternDriver : public CaptureDriver {
public:
    // Source dialog settings.
    enum ControlId : std::uint32_t { PatternControl = 1, BrightnessControl = 2 };
    static constexpr std::uint32_t kFourcc = fourccCode('X', 'R', '2', '4');

    TestPatternDriver();
    ~TestPatternDriver() override;

    static QString driverName();
    static QString driverVersion();
    // The sizes offered, smallest first (160x120 to 1920x1080), and the rates (1 to 60).
    static std::vector<QSize> sizes();
    static constexpr int kMinRate = 1;
    static constexpr int kMaxRate = 60;
    // Frames kept for a worker that fell behind, as many as the V4L2 driver queues.
    static constexpr std::uint64_t kQueuedFrames = 4;

    QString name() const override { return driverName(); }
    QString version() const override { return driverVersion(); }
    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    // The pattern is drawn in the program: no device, so no channel handles.
    DriverCapabilities capabilities() const override { return {true, true, true, true}; }
    std::vector<FormatOption> formats() const override;
    VideoFormat format() const override { return m_format; }
    bool setFormat(const VideoFormat& format) override;
    std::vector<DriverControl> controls() const override;
    bool setControl(std::uint32_t id, int value) override;
    bool start(FrameCallback onFrame, ErrorCallback onError) override;
    void stop() override;
    bool isStreaming() const override { return m_worker.isRunning(); }
    QString lastError() const override { return m_lastError; }

private:
    void run(FrameCallback onFrame);

    bool m_open = false;
    VideoFormat m_format;
    QString m_lastError;
    std::atomic<int> m_pattern{0};
    std::atomic<int> m_brightness{50};
    WorkerThread m_worker{"kv-testpattern"};
};
