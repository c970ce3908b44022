#pragma once

#include "drivers/CaptureDriver.h"

#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

// One opened driver and the capture windows connected to it. A camera streams to one
// reader only, so every window connected to the same device shares it: frames fan out
// to each subscriber, and the device streams while at least one of them wants frames.
//
// Threads: everything on the UI thread, except the subscribers' callbacks, which run
// on the driver's worker thread. unsubscribe() returns only when no callback of that
// subscriber runs any more.
class SharedDriver {
public:
    using FrameCallback = CaptureDriver::FrameCallback;
    using ErrorCallback = CaptureDriver::ErrorCallback;

    // The open driver of a device: the one already shared under its `key` (a
    // DriverList entry's), or one newly made by `create` and opened; an empty key is
    // never shared. Null (with `error`) when the driver cannot be opened.
    static std::shared_ptr<SharedDriver>
    acquire(const QString& key, const std::function<std::unique_ptr<CaptureDriver>()>& create,
            QString* error);

    // Whether a driver is open under this key (a window is connected to that device).
    static bool inUse(const QString& key);

    explicit SharedDriver(std::unique_ptr<CaptureDriver> driver);
    ~SharedDriver();
    SharedDriver(const SharedDriver&) = delete;
    SharedDriver& operator=(const SharedDriver&) = delete;

    CaptureDriver& driver() { return *m_driver; }

    int subscribe(FrameCallback onFrame, ErrorCallback onError);
    void unsubscribe(int id);
    // Whether this subscriber needs frames now. False when streaming could not start.
    bool setWanted(int id, bool wanted);

    // Stops streaming, applies `change` to the driver, and streams again if wanted.
    bool reconfigure(const std::function<bool(CaptureDriver&)>& change);
    // After a device error: streaming stays off until a new connection.
    void halt();
    bool failed() const { return m_failed; }

private:
    struct Subscriber {
        FrameCallback onFrame;
        ErrorCallback onError;
        bool wanted = false;
    };
    bool anyWanted() const;
    bool updateStreaming();

    std::unique_ptr<CaptureDriver> m_driver;
    std::mutex m_mutex; // guards m_subscribers against the worker thread's fan-out
    std::map<int, Subscriber> m_subscribers;
    int m_nextId = 1;
    bool m_failed = false;
    QString m_key;
};
