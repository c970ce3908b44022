#include "DeviceContext.h"

#include <algorithm>
#include <cstring>

Bitmap bitmapOfPicture(const QImage& picture, QImage& holder) {
    const QImage* source = &picture;
    PixelLayout layout = PixelLayout::Bgr24;
    switch (picture.format()) {
    case QImage::Format_BGR888:
        layout = PixelLayout::Bgr24;
        break;
    case QImage::Format_RGB888:
        layout = PixelLayout::Rgb24;
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        // 0xAARRGGBB words: blue, green, red, alpha in memory on little-endian hosts.
        if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
            layout = PixelLayout::Bgrx32;
            break;
        }
        [[fallthrough]];
    default:
        if (picture.isNull()) return {};
        holder = picture.convertToFormat(QImage::Format_BGR888);
        source = &holder;
        break;
    }
    Bitmap bitmap;
    bitmap.layout = layout;
    bitmap.constBits = source->constBits();
    bitmap.width = source->width();
    bitmap.height = source->height();
    bitmap.bytesPerLine = source->bytesPerLine();
    return bitmap;
}

namespace {

template <typename Combine>
void copyRow(uchar* dst, const uchar* src, int pixels, PixelLayout layout, Combine op) {
    switch (layout) {
    case PixelLayout::Bgr24:
        for (int i = 0; i < pixels * 3; ++i)
            dst[i] = op(dst[i], src[i]);
        break;
    case PixelLayout::Rgb24:
        for (int i = 0; i < pixels; ++i, dst += 3, src += 3) {
            dst[0] = op(dst[0], src[2]);
            dst[1] = op(dst[1], src[1]);
            dst[2] = op(dst[2], src[0]);
        }
        break;
    case PixelLayout::Bgrx32:
        for (int i = 0; i < pixels; ++i, dst += 3, src += 4) {
            dst[0] = op(dst[0], src[0]);
            dst[1] = op(dst[1], src[1]);
            dst[2] = op(dst[2], src[2]);
        }
        break;
    }
}

int bytesPerPixel(PixelLayout layout) {
    return layout == PixelLayout::Bgrx32 ? 4 : 3;
}

} // namespace

bool BitBlt(DeviceContext* dst, int x, int y, int w, int h, const DeviceContext* src, int srcX, int srcY,
            quint32 rop) {
    if (!dst || !src) return false;
    const Bitmap& to = dst->selected();
    const Bitmap& from = src->selected();
    if (to.bits == nullptr || to.layout != PixelLayout::Bgr24 || from.isNull()) return false;
    if (rop != RasterOp::SRCCOPY && rop != RasterOp::SRCPAINT && rop != RasterOp::SRCAND &&
        rop != RasterOp::SRCINVERT)
        return false;

    // Clip the block to the source and the target.
    if (x < 0) {
        w += x;
        srcX -= x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        srcY -= y;
        y = 0;
    }
    if (srcX < 0) {
        w += srcX;
        x -= srcX;
        srcX = 0;
    }
    if (srcY < 0) {
        h += srcY;
        y -= srcY;
        srcY = 0;
    }
    w = std::min({w, to.width - x, from.width - srcX});
    h = std::min({h, to.height - y, from.height - srcY});
    if (w <= 0 || h <= 0) return true;

    const int srcStep = bytesPerPixel(from.layout);
    for (int row = 0; row < h; ++row) {
        uchar* d = to.row(y + row) + x * 3;
        const uchar* s = from.constRow(srcY + row) + srcX * srcStep;
        switch (rop) {
        case RasterOp::SRCCOPY:
            if (from.layout == PixelLayout::Bgr24)
                std::memmove(d, s, size_t(w) * 3);
            else
                copyRow(d, s, w, from.layout, [](uchar, uchar b) { return b; });
            break;
        case RasterOp::SRCPAINT:
            copyRow(d, s, w, from.layout, [](uchar a, uchar b) { return uchar(a | b); });
            break;
        case RasterOp::SRCAND:
            copyRow(d, s, w, from.layout, [](uchar a, uchar b) { return uchar(a & b); });
            break;
        case RasterOp::SRCINVERT:
            copyRow(d, s, w, from.layout, [](uchar a, uchar b) { return uchar(a ^ b); });
            break;
        }
    }
    return true;
}
