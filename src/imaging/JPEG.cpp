#include "JPEG.h"

#include "EventLog.h"
#include "MsgBox.h"
#include "PictureBox.h"
#include "cDIBSection.h"
#include "mIntelJPEGLibrary.h"

bool WriteJpegImage(PictureBox& surface, const QString& path, int quality) {
    surface.makeImagePermanent();
    cDIBSection buffer;
    buffer.ClearUp();
    buffer.CreateFromPicture(surface.picture());
    return WriteJpegFile(buffer, path, quality);
}

void SaveImageAsJpeg(PictureBox& surface, const QString& path) {
    if (!WriteJpegImage(surface, path, 90)) {
        WriteLog(QStringLiteral("Error WJPF:0001"));
        MsgBox(QStringLiteral("Error writing ") + path + QStringLiteral("JPEG File."),
               MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbCritical, QString::fromLatin1(kAppTitle));
    }
}
