#include "PictureFile.h"

#include "MsgBox.h"
#include "PictureBox.h"

#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

QImage LoadPicture(const QString& path, QString* error) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull() && error) *error = reader.errorString();
    return image;
}

bool WriteBitmapFile(const PictureBox& surface, const QString& path, QString* error) {
    QString reason;
    QSaveFile file(path);
    if (surface.image().isNull()) {
        reason = QStringLiteral("there is no picture");
    } else if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString();
    } else {
        QImageWriter writer(&file, "bmp");
        if (!writer.write(surface.image()))
            reason = writer.errorString();
        else if (!file.commit())
            reason = file.errorString();
    }
    if (error) *error = reason;
    return reason.isEmpty();
}

bool SaveImageAsBitmap(const PictureBox& surface, const QString& path) {
    QString reason;
    if (WriteBitmapFile(surface, path, &reason)) return true;
    MsgBox(QStringLiteral("Error writing ") + path + QStringLiteral(": ") + reason,
           MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbCritical, QString::fromLatin1(kAppTitle));
    return false;
}
