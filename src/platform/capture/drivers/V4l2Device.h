#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <memory>

// The seam between V4l2Driver and a video device node: the handful of calls it makes.
// The real one goes through libv4l2 (which passes a camera's own formats through and
// converts to the ones it emulates); tests put a scripted device behind it. Errors
// come back as errno values, never through the global errno. One driver uses one
// device; ioctl() may be called from the UI thread (controls) while the worker
// thread polls and dequeues.
class V4l2Device {
public:
    virtual ~V4l2Device() = default;

    // 0, or the errno of the failure.
    virtual int open(const QByteArray& path) = 0;
    virtual void close() = 0;
    // The open node's file descriptor; -1 while closed.
    virtual int descriptor() const = 0;
    // 0, or the errno of the failure.
    virtual int ioctl(unsigned long request, void* arg) = 0;
    // The mapped buffer, or nullptr.
    virtual void* map(std::size_t length, std::int64_t offset) = 0;
    virtual void unmap(void* address, std::size_t length) = 0;
    // Waits up to timeoutMs for a filled buffer: 1 ready, 0 timeout, -errno on error
    // (-ENODEV once the device is gone, -EIO for a queue that failed while the device
    // is still there).
    virtual int poll(int timeoutMs) = 0;
};

// A device node opened through libv4l2. Formats the device has are passed through
// untouched; libv4l2 converts only to the formats it emulates (flagged
// V4L2_FMT_FLAG_EMULATED), which are all a camera that must be flipped offers.
std::unique_ptr<V4l2Device> makeLibV4l2Device();

// A device node opened with plain system calls, for looking at it (VIDIOC_QUERYCAP)
// without waking libv4l2's conversion state.
std::unique_ptr<V4l2Device> makePlainV4l2Device();

// Owns one mapped streaming buffer; unmaps it when destroyed.
class MappedBuffer {
public:
    MappedBuffer() = default;
    MappedBuffer(V4l2Device* device, void* address, std::size_t length)
        : m_device(device), m_address(address), m_length(length) {}
    MappedBuffer(MappedBuffer&& other) noexcept { *this = std::move(other); }
    MappedBuffer& operator=(MappedBuffer&& other) noexcept {
        if (this != &other) {
            reset();
            m_device = other.m_device;
            m_address = other.m_address;
            m_length = other.m_length;
            other.m_address = nullptr;
        }
        return *this;
    }
    MappedBuffer(const MappedBuffer&) = delete;
    MappedBuffer& operator=(const MappedBuffer&) = delete;
    ~MappedBuffer() { reset(); }

    void reset() {
        if (m_address && m_device) m_device->unmap(m_address, m_length);
        m_address = nullptr;
    }
    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(m_address); }
    std::size_t length() const { return m_length; }

private:
    V4l2Device* m_device = nullptr;
    void* m_address = nullptr;
    std::size_t m_length = 0;
};
