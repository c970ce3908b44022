#pragma once

#include "DeviceContext.h"

#include <QImage>
#include <QtGlobal>
#include <cstdlib>
#include <memory>

// The header a DIB is created with (the classic 40-byte BITMAPINFOHEADER).
struct BITMAPINFOHEADER {
    quint32 biSize = 0;
    qint32 biWidth = 0;
    qint32 biHeight = 0;
    quint16 biPlanes = 0;
    quint16 biBitCount = 0;
    quint32 biCompression = 0;
    quint32 biSizeImage = 0;
    qint32 biXPelsPerMeter = 0;
    qint32 biYPelsPerMeter = 0;
    quint32 biClrUsed = 0;
    quint32 biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// The pixel memory of a DIB (calloc'ed, so a new DIB is black).
using DibBits = std::unique_ptr<uchar, decltype(&std::free)>;

// A 24-bit bottom-up device-independent bitmap over memory it owns, kept selected
// into its own memory device context. Pixels are blue, green, red; each row is
// BytesPerScanLine() bytes (width x 3 rounded up to a multiple of 4; the padding
// carries no pixel); the first row in memory is the picture's bottom row.
//
// Empty (hdc, hDib and DIBSectionBitsPtr all null) until Create or CreateFromPicture
// succeeds; ClearUp or destruction makes it Empty again. Width and Height keep the
// last created size after ClearUp. UI thread only; not shared between threads.
class cDIBSection {
public:
    cDIBSection() = default;
    ~cDIBSection();
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;

    // Puts a copy of the picture on the clipboard as a bitmap. With bAsDIB the
    // request is refused with a message box. An empty buffer leaves the clipboard
    // as it is. True when the clipboard took the picture.
    bool CopyToClipboard(bool bAsDIB = false);

    // Fills the header for a lWidth x lHeight 24-bit bottom-up DIB and allocates its
    // pixels into `hDib` (zeroed). Does not select it or free an earlier one.
    bool CreateDIB(DeviceContext* lhDC, qint32 lWidth, qint32 lHeight, DibBits& hDib);

    // Makes the buffer a copy of `picThis` at its own size; stays Empty for a null
    // picture or a size that cannot be made.
    void CreateFromPicture(const QImage& picThis);

    // A fresh lWidth x lHeight buffer (pixels zeroed). False, and Empty, when the
    // size is not positive or too large.
    bool Create(qint32 lWidth, qint32 lHeight);

    qint32 BytesPerScanLine() const;
    qint32 Width() const { return m_header.biWidth; }
    qint32 Height() const { return m_header.biHeight; }

    // BitBlt from `lhDC` at (lSrcLeft, lSrcTop) into this buffer at (0, 0); a
    // negative width or height means the buffer's own.
    void LoadPictureBlt(const DeviceContext* lhDC, qint32 lSrcLeft = 0, qint32 lSrcTop = 0,
                        qint32 lSrcWidth = -1, qint32 lSrcHeight = -1, quint32 eRop = RasterOp::SRCCOPY);
    // BitBlt from this buffer at (lSrcLeft, lSrcTop) into `lhDC` at (lDestLeft,
    // lDestTop); a negative width or height means the buffer's own.
    void PaintPicture(DeviceContext* lhDC, qint32 lDestLeft = 0, qint32 lDestTop = 0, qint32 lDestWidth = -1,
                      qint32 lDestHeight = -1, qint32 lSrcLeft = 0, qint32 lSrcTop = 0,
                      quint32 eRop = RasterOp::SRCCOPY);

    DeviceContext* hdc() const { return m_hdc.get(); }
    const void* hDib() const { return m_hDib.get(); }
    uchar* DIBSectionBitsPtr() const { return m_bits; }

    // Fills every pixel with noise: grey (blue = green = red) with bGray, otherwise
    // no blue and independent green and red. Seeded from the seconds since
    // midnight at every call. Padding bytes are left alone.
    void RandomiseBits(bool bGray);

    // Frees the bitmap and the device context.
    void ClearUp();

    // A resized copy (bilinear), or null when it cannot be made. A source smaller
    // than 2 x 2 can only be copied at its own size.
    std::unique_ptr<cDIBSection> Resample(qint32 lNewHeight, qint32 lNewWidth) const;

    // The picture top-down as a QImage sharing nothing with the buffer (null when Empty).
    QImage toImage() const;

private:
    void ResampleDib(cDIBSection& dest) const;
    Bitmap bitmap() const;

    DibBits m_hDib{nullptr, &std::free};
    Bitmap m_previousBitmap;
    std::unique_ptr<DeviceContext> m_hdc;
    uchar* m_bits = nullptr;
    BITMAPINFOHEADER m_header;
};
