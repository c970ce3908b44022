#pragma once

#include <QByteArray>
#include <QImage>
#include <memory>

// Encodes pictures as baseline JPEG (4:2:0) with libjpeg-turbo. One encoder per
// thread: an instance is not thread-safe, separate instances are.
class JpegEncoder {
public:
    JpegEncoder();

    bool isValid() const { return m_handle != nullptr; }
    // Any QImage format; RGB888, RGB32 and ARGB32 are encoded without conversion.
    // Gives an empty array on failure.
    QByteArray encode(const QImage& image, int quality);

private:
    struct HandleDeleter {
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, HandleDeleter> m_handle;
};
