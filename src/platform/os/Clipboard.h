#pragma once

#include <QImage>

// The desktop clipboard for pictures (Qt's QClipboard). UI thread only. Under the
// offscreen platform the clipboard works within the process, which is what tests use.
namespace Clipboard {

// The picture on the clipboard; a null image when it holds none.
QImage picture();

// Empties the clipboard and puts `image` on it. False for a null image.
bool setPicture(const QImage& image);

// Empties the clipboard.
void clear();

} // namespace Clipboard
