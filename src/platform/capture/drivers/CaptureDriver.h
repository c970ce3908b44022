#pragma once

#include "MonotonicClock.h"
#include "VideoFrame.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

// A frame interval as a fraction of a second (1/30 = 30 frames per second).
struct FrameInterval {
    std::uint32_t numerator = 1;
    std::uint32_t denominator = 30;

    double framesPerSecond() const { return numerator ? double(denominator) / numerator : 0.0; }
    bool operator==(const FrameInterval&) const = default;
};

// What a driver captures: a pixel format (FourCC), a frame size and a rate.
struct VideoFormat {
    std::uint32_t fourcc = 0;
    QSize size;
    FrameInterval interval;

    bool operator==(const VideoFormat&) const = default;
};

// One choice of the format dialog: a pixel format at one size with its rates.
struct FormatOption {
    std::uint32_t fourcc = 0;
    QString pixelFormatName;
    QSize size;
    std::vector<FrameInterval> intervals;
};

// One adjustable setting of the source dialog (brightness, pattern...).
struct DriverControl {
    // Slider, CheckBox, Menu: a value the device keeps. Button: an action (a reset),
    // each press writes 1. Steps: a move by an amount (a relative pan, focus, iris),
    // each press writes -step or +step; neither has a value to show or to keep.
    enum class Kind { Slider, CheckBox, Menu, Button, Steps };
    std::uint32_t id = 0;
    QString name;
    Kind kind = Kind::Slider;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int defaultValue = 0;
    int value = 0;
    // Menu entries by value from minimum on; an empty text is an unused value. A menu
    // may list fewer entries than its range holds (a device may announce any maximum).
    QStringList menuItems;
    // Set by another control now (a manual exposure while the automatic one is on):
    // shown, but the device refuses values.
    bool inactive = false;
    // Changing it changes other controls' values or states (an automatic control):
    // values that are put back are written to it first.
    bool updatesOthers = false;
    // A speed (pan, tilt, zoom in motion): 0 is at rest, and it goes back there.
    bool returnsToZero = false;
};

// What the driver offers beyond streaming.
struct DriverCapabilities {
    bool overlay = false;
    bool sourceDialog = false;
    bool formatDialog = false;
    bool displayDialog = false;
    // Handles of the driver's channels (the capture stream, an output, the external
    // input that chooses the source, an external output); 0 for one it does not have.
    // A camera's handles are its open device node's descriptor.
    std::uint32_t videoIn = 0;
    std::uint32_t videoOut = 0;
    std::uint32_t externalIn = 0;
    std::uint32_t externalOut = 0;
};

// A capture driver: one camera or the built-in test pattern.
//
// Threads: every member is called on the UI thread. Between start() and stop() the
// driver runs its own worker thread, which calls the frame callback once per frame
// and, when the device fails (unplugged, I/O error, no frame for a long time), the
// error callback once, after which the worker ends by itself. The callbacks must be
// thread-safe and must not call back into the driver. stop() joins the worker: after
// it returns no callback runs any more. Destroying a driver stops it.
class CaptureDriver {
public:
    using FrameCallback = std::function<void(const VideoFrame&)>;
    using ErrorCallback = std::function<void(const QString& reason)>;

    virtual ~CaptureDriver() = default;

    virtual QString name() const = 0;
    virtual QString version() const = 0;

    // Opens the device and chooses its start format. False (with lastError()) when
    // the device cannot be used.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual DriverCapabilities capabilities() const = 0;

    // The formats the device offers, and the one in use. setFormat() is refused
    // while streaming.
    virtual std::vector<FormatOption> formats() const = 0;
    // Why the device's other formats are not among them (one line each: "H.264: ...").
    virtual QStringList formatNotes() const { return {}; }
    virtual VideoFormat format() const = 0;
    virtual bool setFormat(const VideoFormat& format) = 0;

    // The source dialog's settings, applied at once (also while streaming).
    virtual std::vector<DriverControl> controls() const = 0;
    virtual bool setControl(std::uint32_t id, int value) = 0;
    // Reads what the device announced since the last call: a control another one
    // governs became active or inactive, or another program changed a value. True
    // when controls() may now answer differently. Never blocks.
    virtual bool takeControlChanges() { return false; }

    virtual bool start(FrameCallback onFrame, ErrorCallback onError) = 0;
    virtual void stop() = 0;
    virtual bool isStreaming() const = 0;

    virtual QString lastError() const = 0;
    // The last failure was the device in use by another program: it may work later.
    virtual bool lastErrorIsBusy() const { return false; }
};

// FourCC as a number, the way V4L2 writes it.
constexpr std::uint32_t fourccCode(char a, char b, char c, char d) {
    return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 |
           std::uint32_t(std::uint8_t(c)) << 16 | std::uint32_t(std::uint8_t(d)) << 24;
}
