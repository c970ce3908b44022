#pragma once

#include <QImage>
#include <QSize>
#include <QTime>
#include <cstdint>

// The test camera's picture. A pure function of its arguments: the same arguments
// always give the same pixels.
//
// Layout: the chosen background, a vertical bar that moves 1/64 of the width per
// frame, a box above the middle with the time and the frame number, and across the
// picture 5/8 of the height down (a band 1/16 of the height) the frame number as a
// strip of black and white blocks; the edges stay free for the still stamps.
//
// The strip: 36 equal cells across the full width, each black (0) or white (1):
// a start marker 1011, the frame number's low 24 bits (most significant first), a
// 4-bit check (the XOR of the six data nibbles) and an end marker 0100. Big cells,
// only black and white and a check make it survive JPEG at quality 75 and scaling.
namespace TestPattern {

enum Pattern : int { ColourBars = 0, GreyRamp = 1, Checkerboard = 2, PatternCount = 3 };

const char* patternName(int pattern);

inline constexpr int kBrightnessMin = 0;
inline constexpr int kBrightnessMax = 100;
inline constexpr int kBrightnessDefault = 50;

// The picture, QImage::Format_RGB32, of `size`. `brightness` 0..100 scales the
// background (50 = as designed); the strip and the text box are not scaled.
QImage render(QSize size, int pattern, int brightness, std::uint64_t frameNumber, QTime time);

// Draws only the frame-number strip into `image` (any 32-bit or 24-bit format).
void drawFrameNumberStrip(QImage& image, std::uint64_t frameNumber);

// Reads the strip back: the frame number's low 24 bits, or -1 when the image carries
// no valid strip.
int decodeFrameNumberStrip(const QImage& image);

} // namespace TestPattern

// The strip decoder under its short name, for tests of every layer.
inline int decodeFrameNumberStrip(const QImage& image) {
    return TestPattern::decodeFrameNumberStrip(image);
}
