#pragma once

#include <QImage>
#include <QtGlobal>

// The small graphics layer under cDIBSection: 24-bit blue-green-red bitmaps, memory
// device contexts that hold one selected bitmap, and BitBlt between them.

// Raster operations of BitBlt (the classic codes).
namespace RasterOp {
enum : quint32 {
    SRCCOPY = 0x00CC0020,
    SRCPAINT = 0x00EE0086,  // source OR destination
    SRCAND = 0x008800C6,    // source AND destination
    SRCINVERT = 0x00660046, // source XOR destination
};
}

// Byte order of a bitmap's pixels in memory. Targets of BitBlt are always Bgr24;
// the other two let a captured picture be read without converting it first.
enum class PixelLayout { Bgr24, Rgb24, Bgrx32 };

// A view of pixels that somebody else owns. Rows are `bytesPerLine` apart; with
// `bottomUp` the first row in memory is the picture's bottom row. A bitmap made
// from a read-only picture has `bits` null and can only be a copy source.
struct Bitmap {
    PixelLayout layout = PixelLayout::Bgr24;
    const uchar* constBits = nullptr;
    uchar* bits = nullptr;
    int width = 0;
    int height = 0;
    qsizetype bytesPerLine = 0;
    bool bottomUp = false;

    bool isNull() const { return constBits == nullptr; }
    // Row `y` of the picture, counted from the top.
    const uchar* constRow(int y) const { return constBits + rowOffset(y); }
    uchar* row(int y) const { return bits + rowOffset(y); }

private:
    qsizetype rowOffset(int y) const { return (bottomUp ? height - 1 - y : y) * bytesPerLine; }
};

// A top-down view of a picture for reading. The usual 24- and 32-bit formats are
// read in place; any other is converted into `holder` first. The view is valid as
// long as `picture` and `holder` are.
Bitmap bitmapOfPicture(const QImage& picture, QImage& holder);

// A memory device context: a target and source of BitBlt through the bitmap
// selected into it (none when created).
class DeviceContext {
public:
    // Selects `bitmap` and returns the one selected before.
    Bitmap SelectObject(const Bitmap& bitmap) {
        Bitmap previous = m_bitmap;
        m_bitmap = bitmap;
        return previous;
    }
    const Bitmap& selected() const { return m_bitmap; }

private:
    Bitmap m_bitmap;
};

// Copies the w x h block at (srcX, srcY) of `src` to (x, y) of `dst`, combined by
// `rop`, clipped to both bitmaps. False for an unknown raster operation, a missing
// bitmap, or a target that is read-only or not Bgr24.
bool BitBlt(DeviceContext* dst, int x, int y, int w, int h, const DeviceContext* src, int srcX, int srcY,
            quint32 rop);
