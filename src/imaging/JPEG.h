#pragma once

#include <QString>

class PictureBox;

// Saves the surface's composed image (the picture with its stamps) as a JPEG file
// of quality 90. The stamps become part of the surface's picture. A failure is
// logged ("Error WJPF:0001") and shown in a message box after the encoder's own;
// the caller is not told and goes on.
void SaveImageAsJpeg(PictureBox& surface, const QString& path);

// What SaveImageAsJpeg writes, at `quality` (1 to 100), without its log line and box
// of its own: false when the file could not be written (the encoder's box is shown,
// the file is left as it was).
bool WriteJpegImage(PictureBox& surface, const QString& path, int quality);
