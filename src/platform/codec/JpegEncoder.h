#pragma once

#include "TurboJpegPtr.h"

#include <QByteArray>
#include <QImage>

// How the pixels of a picture in memory are laid out.
enum class JpegPixels { Rgb, Bgr, Bgrx, Gray };
// The JPEG's chroma subsampling; Gray makes a one-channel JPEG.
enum class JpegSubsampling { None444, Half422, Quarter420, Gray };

// A picture in memory: `bytesPerLine` may exceed width * pixel size (row padding).
// Bottom-up rows (the last row first in memory) give an upright JPEG too.
struct JpegPicture {
    const uchar* bits = nullptr;
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;
    JpegPixels pixels = JpegPixels::Rgb;
    bool bottomUp = false;
};

struct JpegOptions {
    JpegSubsampling subsampling = JpegSubsampling::Quarter420;
    int quality = 75; // 1 to 100
    // Video: the fast DCT, and the worst-case output size reserved up front so that
    // encoding never reallocates. A still picture: the accurate DCT, and a buffer
    // grown to the file's size rather than the worst case.
    bool forVideo = false;
};

// Encodes pictures as baseline JPEG with libjpeg-turbo: the program's one JPEG
// encoder (movie frames, still shots). One encoder per thread: an instance is not
// thread-safe, separate instances are.
class JpegEncoder {
public:
    JpegEncoder();

    bool isValid() const { return m_handle != nullptr; }
    // A movie frame, 4:2:0 with the fast DCT. Any QImage format; RGB888, RGB32 and
    // ARGB32 are encoded without conversion. Gives an empty array on failure.
    QByteArray encode(const QImage& image, int quality);
    // Gives an empty array on failure (bad picture, encoder error).
    QByteArray encode(const JpegPicture& picture, const JpegOptions& options);

    static int bytesPerPixel(JpegPixels pixels);

private:
    TurboJpegHandlePtr m_handle;
};
