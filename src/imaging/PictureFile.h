#pragma once

#include <QImage>
#include <QString>

class PictureBox;

// Loads a BMP or JPEG file (the format is read from the file's contents). A null
// image, with the reader's reason in `error`, when it cannot be loaded.
QImage LoadPicture(const QString& path, QString* error = nullptr);

// Writes the surface's composed image (the picture with its stamps) as a Windows
// bitmap file, replacing the file only when the whole picture was written. A
// failure is shown in a message box naming the file and the reason; false then.
bool SaveImageAsBitmap(const PictureBox& surface, const QString& path);
// The same without a message box: false with the reason in `error`.
bool WriteBitmapFile(const PictureBox& surface, const QString& path, QString* error);
