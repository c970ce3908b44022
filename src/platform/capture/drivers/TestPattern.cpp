#include "TestPattern.h"

#include <QFont>
#include <QPainter>
#include <algorithm>
#include <array>

namespace TestPattern {
namespace {

constexpr int kCells = 36;
constexpr int kDataBits = 24;
constexpr std::array<int, 4> kStartMarker = {1, 0, 1, 1};
constexpr std::array<int, 4> kEndMarker = {0, 1, 0, 0};

int stripHeight(int imageHeight) {
    return std::max(4, (imageHeight + 8) / 16);
}

// The strip lies across the picture below its middle, 5/8 of the height down: the
// still stamps take up to three lines at the top and at the bottom edge, and the
// camera's frame number must survive them.
int stripTop(int imageHeight) {
    return std::min(imageHeight * 5 / 8, imageHeight - stripHeight(imageHeight));
}

int checkNibble(std::uint32_t data) {
    int check = 0;
    for (int shift = 0; shift < kDataBits; shift += 4)
        check ^= int(data >> shift) & 0xF;
    return check;
}

std::array<int, kCells> stripBits(std::uint32_t data) {
    std::array<int, kCells> bits{};
    int i = 0;
    for (int b : kStartMarker)
        bits[i++] = b;
    for (int bit = kDataBits - 1; bit >= 0; --bit)
        bits[i++] = int(data >> bit) & 1;
    const int check = checkNibble(data);
    for (int bit = 3; bit >= 0; --bit)
        bits[i++] = (check >> bit) & 1;
    for (int b : kEndMarker)
        bits[i++] = b;
    return bits;
}

QRgb scaled(QRgb colour, int brightness) {
    auto channel = [brightness](int v) { return std::clamp(v * brightness / kBrightnessDefault, 0, 255); };
    return qRgb(channel(qRed(colour)), channel(qGreen(colour)), channel(qBlue(colour)));
}

QImage renderBackground(QSize size, int pattern, int brightness) {
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width();
    const int h = size.height();
    switch (pattern) {
    case GreyRamp:
        for (int y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < w; ++x) {
                const int v = x * 255 / std::max(1, w - 1);
                line[x] = scaled(qRgb(v, v, v), brightness);
            }
        }
        break;
    case Checkerboard: {
        const int cell = std::max(8, h / 8);
        for (int y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < w; ++x)
                line[x] =
                    scaled(((x / cell + y / cell) & 1) ? qRgb(200, 200, 200) : qRgb(40, 40, 40), brightness);
        }
        break;
    }
    default: {
        static constexpr QRgb bars[] = {qRgb(192, 192, 192), qRgb(192, 192, 0), qRgb(0, 192, 192),
                                        qRgb(0, 192, 0),     qRgb(192, 0, 192), qRgb(192, 0, 0),
                                        qRgb(0, 0, 192)};
        constexpr int count = int(std::size(bars));
        for (int y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < w; ++x)
                line[x] = scaled(bars[x * count / w], brightness);
        }
        break;
    }
    }
    return image;
}

// The background depends only on size, pattern and brightness: keep the last one per
// thread so that a streaming driver draws it once.
const QImage& background(QSize size, int pattern, int brightness) {
    struct Cached {
        QSize size;
        int pattern = -1;
        int brightness = -1;
        QImage image;
    };
    thread_local Cached cached;
    if (cached.size != size || cached.pattern != pattern || cached.brightness != brightness) {
        cached.image = renderBackground(size, pattern, brightness);
        cached.size = size;
        cached.pattern = pattern;
        cached.brightness = brightness;
    }
    return cached.image;
}

} // namespace

const char* patternName(int pattern) {
    switch (pattern) {
    case GreyRamp:
        return "Grey ramp";
    case Checkerboard:
        return "Checkerboard";
    default:
        return "Colour bars";
    }
}

void drawFrameNumberStrip(QImage& image, std::uint64_t frameNumber) {
    const int w = image.width();
    const int h = image.height();
    if (w < kCells || h < 4) return;
    const int sh = stripHeight(h);
    const auto bits = stripBits(std::uint32_t(frameNumber & 0xFFFFFF));
    QPainter painter(&image);
    for (int i = 0; i < kCells; ++i) {
        const int x0 = i * w / kCells;
        const int x1 = (i + 1) * w / kCells;
        painter.fillRect(QRect(x0, stripTop(h), x1 - x0, sh), bits[i] ? Qt::white : Qt::black);
    }
}

QImage render(QSize size, int pattern, int brightness, std::uint64_t frameNumber, QTime time) {
    if (size.width() < 1 || size.height() < 1) return {};
    brightness = std::clamp(brightness, kBrightnessMin, kBrightnessMax);
    QImage image = background(size, pattern, brightness).copy();
    const int w = size.width();
    const int h = size.height();
    {
        QPainter painter(&image);
        // The moving bar: one step of 1/64 of the width per frame.
        const int barWidth = std::max(2, w / 32);
        const int barX = int((frameNumber % 64) * std::uint64_t(w) / 64);
        painter.fillRect(QRect(barX, 0, barWidth, h), Qt::white);
        painter.fillRect(QRect(barX + barWidth / 2 - 1, 0, 2, h), Qt::black);

        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(std::max(9, h / 16));
        painter.setFont(font);
        const QString text = time.toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral("  #") +
                             QString::number(frameNumber);
        const QRect textRect = painter.fontMetrics().boundingRect(text).adjusted(-4, -2, 4, 2);
        // Above the middle: the six places of the still stamps are the corners and the
        // middles of the top and bottom edges, and a stamp must stay readable.
        QRect box(0, 0, textRect.width(), textRect.height());
        box.moveCenter(QPoint(w / 2, h * 7 / 16));
        painter.fillRect(box, Qt::black);
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignCenter, text);
    }
    drawFrameNumberStrip(image, frameNumber);
    return image;
}

int decodeFrameNumberStrip(const QImage& input) {
    if (input.isNull() || input.width() < kCells || input.height() < 8) return -1;
    const QImage image = input.convertToFormat(QImage::Format_RGB32);
    const int w = image.width();
    const int h = image.height();
    // Sample the middle half of the band, and the middle half of each cell, so that
    // blurred edges (JPEG, scaling) do not count.
    // The band at 5/8 of the height, whatever size the picture was scaled to.
    const int band = std::max(2, h / 16);
    const int y0 = h * 5 / 8 + band / 4;
    const int y1 = std::max(y0 + 1, h * 5 / 8 + band * 3 / 4);
    std::array<int, kCells> bits{};
    for (int i = 0; i < kCells; ++i) {
        const int cx0 = i * w / kCells;
        const int cx1 = (i + 1) * w / kCells;
        const int quarter = (cx1 - cx0) / 4;
        const int x0 = cx0 + quarter;
        const int x1 = std::max(x0 + 1, cx1 - quarter);
        long sum = 0;
        long count = 0;
        for (int y = y0; y < y1; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = x0; x < x1; ++x) {
                sum += qGray(line[x]);
                ++count;
            }
        }
        const int mean = int(sum / std::max(1L, count));
        // Clear black or clear white only: anything in between is no strip.
        if (mean < 80)
            bits[i] = 0;
        else if (mean > 175)
            bits[i] = 1;
        else
            return -1;
    }
    for (int i = 0; i < 4; ++i)
        if (bits[i] != kStartMarker[i] || bits[kCells - 4 + i] != kEndMarker[i]) return -1;
    std::uint32_t data = 0;
    for (int i = 0; i < kDataBits; ++i)
        data = data << 1 | std::uint32_t(bits[4 + i]);
    int check = 0;
    for (int i = 0; i < 4; ++i)
        check = check << 1 | bits[4 + kDataBits + i];
    if (check != checkNibble(data)) return -1;
    return int(data);
}

} // namespace TestPattern
