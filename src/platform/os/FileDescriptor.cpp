#include "FileDescriptor.h"

#include <unistd.h>

void FileDescriptor::reset(int fd) {
    if (m_fd >= 0 && m_fd != fd) {
        // A close that fails (EINTR, EIO) has still released the descriptor on Linux:
        // it is never closed twice.
        if (m_close)
            m_close(m_fd);
        else
            ::close(m_fd);
    }
    m_fd = fd;
}
