#pragma once

// The C library's own functions behind the ones the emulator interposes, for the
// emulator's own use (its calls to the interposed names would come back to it).

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace camemu::real {

int open(const char* path, int flags, mode_t mode);
int close(int fd);
ssize_t read(int fd, void* data, std::size_t size);
ssize_t write(int fd, const void* data, std::size_t size);
void* mmap(void* address, std::size_t length, int protection, int flags, int fd, off_t offset);
int munmap(void* address, std::size_t length);
int dup(int fd);
int fcntl(int fd, int command, long argument);

} // namespace camemu::real
