#pragma once

#include <QString>

class PictureBox;

// Saves the surface's composed image (the picture with its stamps) as a JPEG file
// of quality 90. The stamps become part of the surface's picture. A failure is
// logged ("Error WJPF:0001") and shown in a message box after the encoder's own;
// the caller is not told and goes on.
void SaveImageAsJpeg(PictureBox& surface, const QString& path);
