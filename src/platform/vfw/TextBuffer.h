#pragma once

#include <QString>
#include <cstddef>

// Copies `text`, in the local 8-bit code page, into a caller's buffer of `size` bytes:
// cut to fit and always NUL-terminated. False, and nothing written, for a null buffer
// or a size of 0.
bool copyTextToBuffer(const QString& text, char* buffer, std::size_t size);
