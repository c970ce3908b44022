#include "SharedDriver.h"

namespace {

std::map<QString, std::weak_ptr<SharedDriver>>& sharedByKey() {
    static std::map<QString, std::weak_ptr<SharedDriver>> table;
    return table;
}

} // namespace

std::shared_ptr<SharedDriver>
SharedDriver::acquire(const QString& key, const std::function<std::unique_ptr<CaptureDriver>()>& create,
                      QString* error) {
    if (!key.isEmpty()) {
        const auto it = sharedByKey().find(key);
        if (it != sharedByKey().end()) {
            if (auto existing = it->second.lock(); existing && !existing->failed()) return existing;
        }
    }
    auto driver = create ? create() : nullptr;
    if (!driver || !driver->open()) {
        if (error) *error = driver ? driver->lastError() : QStringLiteral("No such driver.");
        return nullptr;
    }
    auto shared = std::make_shared<SharedDriver>(std::move(driver));
    if (!key.isEmpty()) {
        shared->m_key = key;
        sharedByKey()[key] = shared;
    }
    return shared;
}

bool SharedDriver::inUse(const QString& key) {
    const auto it = sharedByKey().find(key);
    return it != sharedByKey().end() && !it->second.expired();
}

SharedDriver::SharedDriver(std::unique_ptr<CaptureDriver> driver) : m_driver(std::move(driver)) {}

SharedDriver::~SharedDriver() {
    m_driver->close(); // joins the worker
    if (!m_key.isEmpty()) {
        const auto it = sharedByKey().find(m_key);
        if (it != sharedByKey().end() && it->second.expired()) sharedByKey().erase(it);
    }
}

int SharedDriver::subscribe(FrameCallback onFrame, ErrorCallback onError) {
    std::lock_guard lock(m_mutex);
    const int id = m_nextId++;
    m_subscribers[id] = {std::move(onFrame), std::move(onError), false};
    return id;
}

void SharedDriver::unsubscribe(int id) {
    {
        std::lock_guard lock(m_mutex); // waits for a fan-out in progress
        m_subscribers.erase(id);
    }
    updateStreaming();
}

bool SharedDriver::setWanted(int id, bool wanted) {
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_subscribers.find(id);
        if (it == m_subscribers.end()) return false;
        it->second.wanted = wanted;
    }
    return updateStreaming();
}

bool SharedDriver::anyWanted() const {
    for (const auto& [id, subscriber] : m_subscribers)
        if (subscriber.wanted) return true;
    return false;
}

bool SharedDriver::updateStreaming() {
    bool wanted;
    {
        std::lock_guard lock(m_mutex);
        wanted = anyWanted() && !m_failed;
    }
    if (wanted && !m_driver->isStreaming()) {
        // The fan-out runs on the worker thread; the lock keeps subscribers from leaving mid-call.
        return m_driver->start(
            [this](const VideoFrame& frame) {
                std::lock_guard lock(m_mutex);
                for (auto& [id, subscriber] : m_subscribers)
                    if (subscriber.onFrame) subscriber.onFrame(frame);
            },
            [this](const QString& reason) {
                std::lock_guard lock(m_mutex);
                for (auto& [id, subscriber] : m_subscribers)
                    if (subscriber.onError) subscriber.onError(reason);
            });
    }
    if (!wanted && m_driver->isStreaming()) m_driver->stop();
    return true;
}

bool SharedDriver::reconfigure(const std::function<bool(CaptureDriver&)>& change) {
    m_driver->stop();
    const bool ok = change(*m_driver);
    updateStreaming();
    return ok;
}

void SharedDriver::halt() {
    m_failed = true;
    m_driver->stop();
}
