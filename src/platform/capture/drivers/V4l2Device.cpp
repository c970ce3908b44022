#include "V4l2Device.h"

#include "FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <libv4l2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The calls a device node is used through: the system's own, or libv4l2's, which
// take the same arguments and add its format conversion on top.
struct NodeCalls {
    int (*open)(const char* path, int flags, ...);
    int (*close)(int fd);
    int (*ioctl)(int fd, unsigned long request, ...);
    void* (*mmap)(void* address, std::size_t length, int protection, int flags, int fd, std::int64_t offset);
    int (*munmap)(void* address, std::size_t length);
};

const NodeCalls kSystemCalls{::open, ::close, ::ioctl, ::mmap, ::munmap};
const NodeCalls kLibV4l2Calls{v4l2_open, v4l2_close, v4l2_ioctl, v4l2_mmap, v4l2_munmap};

// A video device node opened and used through one set of calls; the descriptor is
// closed through the same set.
class NodeDevice : public V4l2Device {
public:
    explicit NodeDevice(const NodeCalls& calls)
        : m_calls(calls), m_fd(FileDescriptor::closedWith(calls.close)) {}

    int open(const QByteArray& path) override {
        const int fd = m_calls.open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return errno;
        m_fd.reset(fd);
        return 0;
    }
    void close() override { m_fd.reset(); }
    int descriptor() const override { return m_fd.get(); }
    int ioctl(unsigned long request, void* arg) override {
        if (!m_fd.isValid()) return EBADF;
        int result;
        do {
            result = m_calls.ioctl(m_fd.get(), request, arg);
        } while (result < 0 && errno == EINTR);
        return result < 0 ? errno : 0;
    }
    void* map(std::size_t length, std::int64_t offset) override {
        void* address = m_calls.mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd.get(), offset);
        return address == MAP_FAILED ? nullptr : address;
    }
    void unmap(void* address, std::size_t length) override { m_calls.munmap(address, length); }
    int poll(int timeoutMs) override {
        // Filled buffers only: a waiting control event (POLLPRI) is the UI's to read.
        pollfd fds{m_fd.get(), POLLIN, 0};
        const int result = ::poll(&fds, 1, timeoutMs);
        if (result < 0) return errno == EINTR ? 0 : -errno;
        if (result == 0) return 0;
        // v4l2_poll: an unregistered node answers POLLERR | POLLHUP; vb2_poll answers
        // POLLERR alone for a queue that is not streaming or failed (vb2_queue_error).
        if (fds.revents & (POLLHUP | POLLNVAL)) return -ENODEV;
        if (fds.revents & POLLERR) return -EIO;
        return 1;
    }

private:
    const NodeCalls& m_calls;
    FileDescriptor m_fd;
};

} // namespace

// Plain system calls: no libv4l2 state, no conversion. Cheap enough to look at every
// node each time the device list is read.
std::unique_ptr<V4l2Device> makePlainV4l2Device() {
    return std::make_unique<NodeDevice>(kSystemCalls);
}

// libv4l2: the camera's formats plus those it converts to.
std::unique_ptr<V4l2Device> makeLibV4l2Device() {
    return std::make_unique<NodeDevice>(kLibV4l2Calls);
}
