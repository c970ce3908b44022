#pragma once

#include <QImage>
#include <QString>

// Printing a picture on the desktop's default printer (QPrinter over CUPS).
// UI thread only.
namespace Printer {

// Prints `image` on one page of the default printer: at screen size (96 pixels per
// inch) when it fits the printable area, otherwise shrunk to fit, keeping its
// proportions, in the top-left corner of the printable area. False, with a reason
// in `error`, when there is no default printer, the image is null or the job fails.
bool printImage(const QImage& image, const QString& jobName, QString* error = nullptr);

// Test seam: print into this PDF file instead of the default printer, until reset().
void setPdfOutput(const QString& path);
void reset();

} // namespace Printer
