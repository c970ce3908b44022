#include "TextBuffer.h"

#include <QByteArray>
#include <algorithm>
#include <cstring>

bool copyTextToBuffer(const QString& text, char* buffer, std::size_t size) {
    if (!buffer || size == 0) return false;
    const QByteArray bytes = text.toLocal8Bit();
    const std::size_t n = std::min(size - 1, std::size_t(bytes.size()));
    std::memcpy(buffer, bytes.constData(), n);
    buffer[n] = '\0';
    return true;
}
