#include "Printer.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace Printer {
namespace {
QString pdfOutput;

constexpr double kScreenDpi = 96.0;
} // namespace

void setPdfOutput(const QString& path) {
    pdfOutput = path;
}

void reset() {
    pdfOutput.clear();
}

bool printImage(const QImage& image, const QString& jobName, QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (image.isNull()) return fail(QStringLiteral("There is no picture to print."));

    QPrinter printer(QPrinter::HighResolution);
    if (!pdfOutput.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfOutput);
    } else {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) return fail(QStringLiteral("No default printer is set up."));
        printer.setPrinterName(info.printerName());
    }
    printer.setDocName(jobName);

    QPainter painter;
    if (!painter.begin(&printer)) return fail(QStringLiteral("The printer could not be opened."));
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double scale = printer.resolution() / kScreenDpi;
    QSizeF size(image.width() * scale, image.height() * scale);
    if (size.width() > page.width() || size.height() > page.height())
        size.scale(page.size(), Qt::KeepAspectRatio);
    // The painter's origin is already the printable area's top-left corner.
    painter.drawImage(QRectF(QPointF(0, 0), size), image);
    if (!painter.end()) return fail(QStringLiteral("The print job failed."));
    return true;
}

} // namespace Printer
