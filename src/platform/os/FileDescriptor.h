#pragma once

#include <utility>

// Owns one file descriptor of the operating system and closes it once: when it is
// destroyed, reset or given another. A descriptor opened through a library that wraps
// the calls (libv4l2's v4l2_open) is closed through that library's own close, given
// at construction; others with the system's close().
class FileDescriptor {
public:
    using CloseCall = int (*)(int fd);

    FileDescriptor() = default;
    // `close`: how to close it; null for the system's close().
    explicit FileDescriptor(int fd, CloseCall close = nullptr) : m_fd(fd), m_close(close) {}
    // An owner that will close what it is given with `close`.
    static FileDescriptor closedWith(CloseCall close) { return FileDescriptor(-1, close); }
    ~FileDescriptor() { reset(); }

    FileDescriptor(FileDescriptor&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1)), m_close(other.m_close) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
            m_close = other.m_close;
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    // The descriptor, -1 when none is held.
    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    // Closes the descriptor held, if any, and holds `fd` (-1: none) instead.
    void reset(int fd = -1);

private:
    int m_fd = -1;
    CloseCall m_close = nullptr;
};
