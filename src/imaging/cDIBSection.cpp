#include "cDIBSection.h"

#include "Clipboard.h"
#include "Clock.h"
#include "MsgBox.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

// Rounds to the nearest integer, halves to even (the FPU's default mode).
int roundEven(float value) {
    return int(std::nearbyint(value));
}

} // namespace

cDIBSection::~cDIBSection() {
    ClearUp();
}

qint32 cDIBSection::BytesPerScanLine() const {
    const qint64 bytes = (qint64(m_header.biWidth) * 3 + 3) & ~qint64(3);
    // Create refuses such widths; a header left holding one reports 0.
    return bytes > std::numeric_limits<qint32>::max() ? 0 : qint32(bytes);
}

bool cDIBSection::CreateDIB(DeviceContext* lhDC, qint32 lWidth, qint32 lHeight, DibBits& hDib) {
    Q_UNUSED(lhDC); // the pixel memory is ours, not the device's
    m_header = BITMAPINFOHEADER{};
    m_header.biSize = sizeof(BITMAPINFOHEADER);
    m_header.biWidth = lWidth;
    m_header.biHeight = lHeight;
    m_header.biPlanes = 1;
    m_header.biBitCount = 24;
    m_header.biCompression = 0;
    const qint64 scanLine = (qint64(lWidth) * 3 + 3) & ~qint64(3);
    const qint64 size = scanLine * lHeight;
    if (lWidth <= 0 || lHeight <= 0 || scanLine > std::numeric_limits<qint32>::max() ||
        size > std::numeric_limits<quint32>::max())
        return false;
    m_header.biSizeImage = quint32(size);
    DibBits bits(static_cast<uchar*>(std::calloc(size_t(size), 1)), &std::free);
    if (!bits) return false;
    m_bits = bits.get();
    hDib = std::move(bits);
    return true;
}

bool cDIBSection::Create(qint32 lWidth, qint32 lHeight) {
    ClearUp();
    m_hdc = std::make_unique<DeviceContext>();
    if (!CreateDIB(m_hdc.get(), lWidth, lHeight, m_hDib)) {
        m_hdc.reset();
        m_bits = nullptr;
        return false;
    }
    m_previousBitmap = m_hdc->SelectObject(bitmap());
    return true;
}

Bitmap cDIBSection::bitmap() const {
    Bitmap b;
    b.layout = PixelLayout::Bgr24;
    b.bits = m_bits;
    b.constBits = m_bits;
    b.width = Width();
    b.height = Height();
    b.bytesPerLine = BytesPerScanLine();
    b.bottomUp = true;
    return b;
}

void cDIBSection::CreateFromPicture(const QImage& picThis) {
    if (!Create(picThis.width(), picThis.height())) return;
    QImage holder;
    DeviceContext memory;
    const Bitmap previous = memory.SelectObject(bitmapOfPicture(picThis, holder));
    LoadPictureBlt(&memory, 0, 0, -1, -1, RasterOp::SRCCOPY);
    memory.SelectObject(previous);
}

void cDIBSection::LoadPictureBlt(const DeviceContext* lhDC, qint32 lSrcLeft, qint32 lSrcTop, qint32 lSrcWidth,
                                 qint32 lSrcHeight, quint32 eRop) {
    if (lSrcWidth < 0) lSrcWidth = Width();
    if (lSrcHeight < 0) lSrcHeight = Height();
    BitBlt(m_hdc.get(), 0, 0, lSrcWidth, lSrcHeight, lhDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::PaintPicture(DeviceContext* lhDC, qint32 lDestLeft, qint32 lDestTop, qint32 lDestWidth,
                               qint32 lDestHeight, qint32 lSrcLeft, qint32 lSrcTop, quint32 eRop) {
    if (lDestWidth < 0) lDestWidth = Width();
    if (lDestHeight < 0) lDestHeight = Height();
    BitBlt(lhDC, lDestLeft, lDestTop, lDestWidth, lDestHeight, m_hdc.get(), lSrcLeft, lSrcTop, eRop);
}

bool cDIBSection::CopyToClipboard(bool bAsDIB) {
    if (bAsDIB) {
        MsgBox(QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"),
               MsgBoxStyle::vbOKOnly, QString::fromLatin1(kAppTitle));
        return false;
    }
    // An empty buffer has nothing to offer: the clipboard keeps what it holds.
    if (!m_hdc) return false;
    // A screen-compatible bitmap: 24-bit, top-down.
    QImage compatible(Width(), Height(), QImage::Format_BGR888);
    if (compatible.isNull()) return false;
    DeviceContext memory;
    Bitmap target;
    target.bits = compatible.bits();
    target.constBits = target.bits;
    target.width = compatible.width();
    target.height = compatible.height();
    target.bytesPerLine = compatible.bytesPerLine();
    const Bitmap previous = memory.SelectObject(target);
    PaintPicture(&memory, 0, 0, -1, -1, 0, 0, RasterOp::SRCCOPY);
    memory.SelectObject(previous);
    return Clipboard::setPicture(compatible);
}

void cDIBSection::ClearUp() {
    if (m_hdc) {
        if (m_hDib) {
            m_hdc->SelectObject(m_previousBitmap);
            m_hDib.reset();
        }
        m_hdc.reset();
    }
    m_hDib.reset();
    m_previousBitmap = Bitmap{};
    m_bits = nullptr;
}

void cDIBSection::RandomiseBits(bool bGray) {
    if (!m_bits) return;
    const QTime time = Clock::now().time();
    std::mt19937 generator(quint32(time.msecsSinceStartOfDay() / 1000));
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    auto noise = [&] { return uchar(roundEven(uniform(generator) * 255.0f)); };
    const qint32 stride = BytesPerScanLine();
    if (bGray) {
        for (qint32 y = 0; y < Height(); ++y) {
            uchar* row = m_bits + qint64(y) * stride;
            for (qint32 x = 0; x < Width(); ++x) {
                const uchar value = noise();
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = value;
            }
        }
    } else {
        for (qint32 x = 0; x < Width(); ++x) {
            for (qint32 y = 0; y < Height(); ++y) {
                uchar* pixel = m_bits + qint64(y) * stride + 3 * x;
                pixel[0] = 0;
                pixel[1] = noise();
                pixel[2] = noise();
            }
        }
    }
}

std::unique_ptr<cDIBSection> cDIBSection::Resample(qint32 lNewHeight, qint32 lNewWidth) const {
    if (!m_bits) return nullptr;
    const bool sameSize = lNewWidth == Width() && lNewHeight == Height();
    // Interpolation reads pixel x + 1 and row y + 1 of the source.
    if (!sameSize && (Width() < 2 || Height() < 2)) return nullptr;
    auto result = std::make_unique<cDIBSection>();
    if (!result->Create(lNewWidth, lNewHeight)) return nullptr;
    if (sameSize)
        result->LoadPictureBlt(m_hdc.get(), 0, 0, -1, -1, RasterOp::SRCCOPY);
    else
        ResampleDib(*result);
    return result;
}

void cDIBSection::ResampleDib(cDIBSection& dest) const {
    // Single precision throughout, as the stored pictures were made; the scales are
    // (size - 1) / new size, so the last target pixel stays short of the last source
    // pixel and x + 1, y + 1 are always inside the source.
    const float xScale = float(double(Width() - 1) / double(dest.Width()));
    const float yScale = float(double(Height() - 1) / double(dest.Height()));
    const qint32 srcStride = BytesPerScanLine();
    const qint32 dstStride = dest.BytesPerScanLine();
    for (qint32 y = 0; y < dest.Height(); ++y) {
        const float yf = yScale * float(y);
        const qint32 yi = qint32(std::floor(yf));
        const float dy = yf - float(yi);
        const uchar* top = m_bits + qint64(yi) * srcStride;
        const uchar* bottom = top + srcStride;
        uchar* out = dest.m_bits + qint64(y) * dstStride;
        for (qint32 x = 0; x < dest.Width(); ++x) {
            const float xf = xScale * float(x);
            const qint32 xi = qint32(std::floor(xf));
            const float dx = xf - float(xi);
            int column[6];
            for (int i = 0; i < 6; ++i) {
                const int at = 3 * xi + i;
                column[i] = roundEven((1.0f - dy) * float(top[at]) + dy * float(bottom[at]));
            }
            for (int c = 0; c < 3; ++c) {
                const int value = roundEven((1.0f - dx) * float(column[c]) + dx * float(column[c + 3]));
                out[3 * x + c] = uchar(std::clamp(value, 0, 255));
            }
        }
    }
}

QImage cDIBSection::toImage() const {
    if (!m_bits) return {};
    QImage image(Width(), Height(), QImage::Format_BGR888);
    const qint32 stride = BytesPerScanLine();
    for (qint32 y = 0; y < Height(); ++y)
        std::memcpy(image.scanLine(y), m_bits + qint64(Height() - 1 - y) * stride, size_t(Width()) * 3);
    return image;
}
