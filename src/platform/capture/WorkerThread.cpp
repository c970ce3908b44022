#include "WorkerThread.h"

#include <cstring>
#include <pthread.h>

namespace {

void setCurrentThreadName(const char* name) {
    char shortName[16] = {};
    std::strncpy(shortName, name, sizeof shortName - 1);
    // Only fails for a name that is too long, which the copy rules out.
    pthread_setname_np(pthread_self(), shortName);
}

} // namespace

bool WorkerThread::start(std::function<void()> loop) {
    if (m_thread.joinable()) return false;
    {
        std::lock_guard lock(m_mutex);
        m_stop = false;
    }
    m_thread = std::thread([name = m_name, loop = std::move(loop)] {
        setCurrentThreadName(name);
        loop();
    });
    return true;
}

void WorkerThread::requestStop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
}

void WorkerThread::stop() {
    if (!m_thread.joinable()) return;
    requestStop();
    m_thread.join();
}

void WorkerThread::join() {
    if (m_thread.joinable()) m_thread.join();
}

bool WorkerThread::sleepUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_until(lock, deadline, [this] { return m_stop.load(); });
}
