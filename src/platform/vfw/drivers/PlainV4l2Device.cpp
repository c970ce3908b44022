#include "V4l2Device.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Owns a descriptor opened with open(2).
class FileDescriptor {
public:
    FileDescriptor() = default;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    void reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    int get() const { return m_fd; }

private:
    int m_fd = -1;
};

// A device node opened with plain system calls: no libv4l2 state, no conversion. Cheap
// enough to look at every node each time the device list is read.
class PlainV4l2Device : public V4l2Device {
public:
    int open(const QByteArray& path) override {
        const int fd = ::open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return errno;
        m_fd.reset(fd);
        return 0;
    }
    void close() override { m_fd.reset(); }
    int descriptor() const override { return m_fd.get(); }
    int ioctl(unsigned long request, void* arg) override {
        if (m_fd.get() < 0) return EBADF;
        int result;
        do {
            result = ::ioctl(m_fd.get(), request, arg);
        } while (result < 0 && errno == EINTR);
        return result < 0 ? errno : 0;
    }
    void* map(std::size_t length, std::int64_t offset) override {
        void* address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd.get(), offset);
        return address == MAP_FAILED ? nullptr : address;
    }
    void unmap(void* address, std::size_t length) override { ::munmap(address, length); }
    int poll(int timeoutMs) override {
        pollfd fds{m_fd.get(), POLLIN | POLLPRI, 0};
        const int result = ::poll(&fds, 1, timeoutMs);
        if (result < 0) return errno == EINTR ? 0 : -errno;
        if (result == 0) return 0;
        if (fds.revents & (POLLERR | POLLHUP | POLLNVAL)) return -ENODEV;
        return 1;
    }

private:
    FileDescriptor m_fd;
};

} // namespace

std::unique_ptr<V4l2Device> makePlainV4l2Device() {
    return std::make_unique<PlainV4l2Device>();
}
