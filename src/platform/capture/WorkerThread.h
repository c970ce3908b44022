#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// One worker thread of the capture core: the camera's and the test pattern's frame
// loops, the sound input's reading loop, a recording's writer and its encoders.
//
// It carries the thread's name (Linux keeps 15 characters), so that `top -H`,
// `ps -L` and a debugger show what runs, and it has the one stop request and wake-up
// that a loop waiting for time needs: the loop returns when stopRequested() is set,
// and sleepUntil() ends early on a stop request. A loop that waits on something else
// (a device's poll, the sound server, a queue of its own) looks at stopRequested()
// at every turn, or is ended by its owner through that queue; join() then waits
// for it.
//
// The owner's calls (start, requestStop, stop, join, isRunning) come from one thread;
// stopRequested() and sleepUntil() are the loop's.
class WorkerThread {
public:
    explicit WorkerThread(const char* name) : m_name(name) {}
    // Stops and joins a thread that still runs.
    ~WorkerThread() { stop(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs `loop` on a new thread of this name. False, and nothing started, while an
    // earlier thread has not been joined.
    bool start(std::function<void()> loop);
    // Asks the loop to return and wakes it from sleepUntil(); returns at once.
    void requestStop();
    // requestStop(), then join().
    void stop();
    // Waits for the loop to return; at once when no thread was started.
    void join();
    // A thread was started and has not been joined (it may have returned already).
    bool isRunning() const { return m_thread.joinable(); }

    // The loop's side: whether stop was asked for since start().
    bool stopRequested() const { return m_stop; }
    // The loop's side: sleeps until `deadline` or a stop request; false on a stop request.
    bool sleepUntil(std::chrono::steady_clock::time_point deadline);

private:
    const char* m_name;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex; // orders a stop request before a sleep's check
    std::condition_variable m_wake;
};
