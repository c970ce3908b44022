#pragma once

#include "EmulatorConfig.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <linux/videodev2.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace camemu {

class EmulatedCamera;

// One open file description of a camera node (what open() made; dup() shares it).
// The descriptor the program holds is an eventfd that is readable whenever a poll
// for POLLIN would report something (a filled buffer, an error, the end of the
// device); `priorityFd` is readable while events wait or the device is gone.
struct Handle {
    std::shared_ptr<EmulatedCamera> camera;
    int signalFd = -1;   // our own descriptor of the program's eventfd
    int priorityFd = -1; // eventfd for POLLPRI
    // eventfd readable exactly while a poll for POLLIN alone would report something:
    // a waiting event does not wake a poll that did not ask for POLLPRI (vb2_poll's
    // mask is filtered by the events asked for).
    int bufferFd = -1;
    int goneFd = -1; // eventfd readable once the device is gone (POLLERR | POLLHUP whatever was asked)
    bool inSignalled = false, prioritySignalled = false, bufferSignalled = false, goneSignalled = false;
    std::uint32_t priority = V4L2_PRIORITY_DEFAULT;
    bool privileged = false; // uvcvideo's privileges: format, rate, buffers, streaming
    int privilegeFd = -1;    // the lock that holds them across processes (see acquirePrivileges)

    struct Subscription {
        std::uint32_t type, id, flags;
    };
    std::vector<Subscription> subscriptions;
    std::deque<v4l2_event> events; // at most one per subscription, as v4l2-event.c keeps one element
    std::uint32_t eventSequence = 0;
};

// A camera node: its formats, controls and capture queue, modelled on uvcvideo over
// videobuf2 and the V4L2 ioctl core. Thread-safe: every entry point takes the
// camera's lock; a producer thread fills buffers in real time while it streams.
class EmulatedCamera : public std::enable_shared_from_this<EmulatedCamera> {
public:
    explicit EmulatedCamera(CameraConfig config, std::uint32_t minor);
    ~EmulatedCamera();
    EmulatedCamera(const EmulatedCamera&) = delete;
    EmulatedCamera& operator=(const EmulatedCamera&) = delete;

    const CameraConfig& config() const { return m_config; }
    std::uint32_t minorNumber() const { return m_minor; }
    // Which node file this is: every camera made (a plug, a reset) is a new one, as
    // devtmpfs gives each node it makes a new inode.
    std::uint32_t serial() const { return m_serial; }

    // The folder of files the emulators of every process on one configuration share
    // (set by the emulator; empty: each process on its own).
    static std::string& stateFolder();

    // Called (on the camera's producer thread) for a USB reset; set by the emulator,
    // which makes the node again. Unset: the camera is only unplugged.
    static void (*s_usbReset)(const std::shared_ptr<EmulatedCamera>& camera);
    // The node's mode as udev leaves it (0660, or 0600 just after a plug when asked).
    unsigned mode() const;
    unsigned group() const;
    bool registered() const;

    // open(): 0 or an errno. The handle's descriptors are set up by the caller.
    int attach(const std::shared_ptr<Handle>& handle, bool readable, bool writable);
    // The last descriptor of the handle was closed.
    void release(Handle& handle);

    // 0 or an errno; `nonBlocking` is the descriptor's O_NONBLOCK.
    int ioctl(Handle& handle, unsigned long request, void* arg, bool nonBlocking);
    // The address of a buffer's mapping (MAP_FAILED with `error` set).
    void* mmap(Handle& handle, void* address, std::size_t length, int protection, int flags,
               std::int64_t offset, int& error, std::uint32_t& generation, std::uint32_t& index);
    void unmapped(std::uint32_t generation, std::uint32_t index);
    // read(): bytes or -1 with `error` set.
    long read(Handle& handle, void* data, std::size_t size, bool nonBlocking, int& error);
    // The poll mask for these requested events.
    short poll(Handle& handle, short requested);

    // Unplugged as uvcvideo sees it: buffers in the queue come back flagged as errors,
    // then the node is unregistered (ENODEV for every call, POLLERR|POLLHUP).
    void unplug();

private:
    struct Buffer {
        enum class State { Dequeued, Queued, Active, Done } state = State::Dequeued;
        v4l2_buffer info{};
        std::size_t offset = 0;         // the mmap offset that names it
        int memoryFd = -1;              // its memory (a memory file of its own)
        std::uint8_t* memory = nullptr; // our mapping of it
        int mapped = 0;
    };
    struct Control {
        std::int32_t value = 0;
    };

    using Lock = std::unique_lock<std::mutex>;
    int querycap(v4l2_capability& cap) const;
    int enumFormat(v4l2_fmtdesc& desc) const;
    int enumFrameSizes(v4l2_frmsizeenum& sizes) const;
    int enumFrameIntervals(v4l2_frmivalenum& intervals) const;
    const FrameSizeConfig* findSize(std::uint32_t fourcc, std::uint32_t width, std::uint32_t height) const;
    void tryFormat(v4l2_pix_format& pix) const;
    void fillFormat(v4l2_pix_format& pix, std::uint32_t fourcc, std::uint32_t width,
                    std::uint32_t height) const;
    Fraction nearestInterval(const FrameSizeConfig& size, Fraction wanted) const;
    Fraction probedInterval(Fraction asked) const;
    int getParm(v4l2_streamparm& parm) const;
    int setParm(Handle& handle, v4l2_streamparm& parm);
    bool acquirePrivileges(Handle& handle);
    void dismissPrivileges(Handle& handle, bool unlock);
    bool priorityAllows(const Handle& handle) const;
    std::uint32_t maxPriority() const;

    // Controls.
    int queryControl(std::uint32_t id, v4l2_query_ext_ctrl& query) const;
    std::uint32_t controlFlags(std::uint32_t id) const;
    const ControlConfig* controlConfig(std::uint32_t id) const;
    int extControls(Handle& handle, unsigned long request, v4l2_ext_controls& controls);
    int setControlValue(std::uint32_t id, std::int32_t& value) const; // clamps; 0 or errno
    void sendControlEvent(Handle* origin, std::uint32_t id, std::uint32_t changes);
    void queueEvent(Handle& handle, const v4l2_event& event);
    void fillControlEvent(std::uint32_t id, std::uint32_t changes, v4l2_event& event) const;
    int subscribe(Handle& handle, const v4l2_event_subscription& sub);

    // The queue.
    int reqbufs(Handle& handle, v4l2_requestbuffers& request, Lock& lock);
    int createBufs(Handle& handle, v4l2_create_buffers& create);
    int querybuf(v4l2_buffer& buffer) const;
    int qbuf(Handle& handle, v4l2_buffer& buffer);
    int dqbuf(Handle& handle, v4l2_buffer& buffer, bool nonBlocking, Lock& lock);
    int streamon(Handle& handle);
    void streamoff(Lock& lock);
    bool allocate(std::uint32_t count, std::uint32_t size);
    void freeBuffers(Lock& lock);
    bool isOwner(const Handle& handle) const { return m_owner == &handle; }
    void copyOut(const Buffer& buffer, v4l2_buffer& out) const;
    void produce();
    // What one stream's producer did with the frame times of the stream: frames
    // filled into buffers, frames the camera sent while no buffer was queued (lost, as
    // uvcvideo loses them: the sequence number still counts them), and frame times a
    // late producer missed (the emulator's own lateness, not the program's).
    struct StreamCount {
        std::uint64_t filled = 0, noBuffer = 0, late = 0;
    };
    // Appends a line with the count to the file named by KV_CAMERA_EMULATOR_STATS
    // (benchmarks read it); nothing without the variable.
    void reportStream(const StreamCount& count) const;
    // `wake`: something new came (kWakeBuffer: a buffer done, vb2_buffer_done's wake-up
    // of the queue; kWakeEvent: an event queued, v4l2_event_queue's wake-up of the
    // handle), which wakes its waiters again even where something was already there:
    // an edge-triggered epoll reports each.
    static constexpr unsigned kWakeBuffer = 1, kWakeEvent = 2;
    void updateSignals(unsigned wake = 0);

    CameraConfig m_config;
    std::uint32_t m_minor;
    std::uint32_t m_serial;
    std::chrono::steady_clock::time_point m_pluggedAt;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_registered = true;
    std::vector<Handle*> m_handles;

    // Format and rate.
    std::uint32_t m_fourcc = 0, m_width = 0, m_height = 0;
    Fraction m_interval{1, 30};
    std::map<std::uint32_t, Control> m_controls;

    // The capture queue (videobuf2's rules).
    Handle* m_owner = nullptr;
    std::vector<Buffer> m_buffers;
    std::uint32_t m_generation = 0; // of the buffer set
    std::size_t m_nextOffset = 0;   // the mmap offset of the next buffer made
    std::deque<std::uint32_t> m_queued, m_done;
    bool m_streaming = false, m_queueError = false, m_waitingForBuffers = true;
    bool m_fileIo = false; // read() owns the queue
    int m_readIndex = -1;  // buffer being read
    std::size_t m_readPos = 0;
    std::uint64_t m_sequence = 0;
    std::thread m_producer;
    bool m_stopProducer = false;
};

} // namespace camemu
