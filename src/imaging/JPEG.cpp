#include "JPEG.h"

#include "EventLog.h"
#include "MsgBox.h"
#include "PictureBox.h"
#include "cDIBSection.h"
#include "mIntelJPEGLibrary.h"

void SaveImageAsJpeg(PictureBox& surface, const QString& path) {
    surface.makeImagePermanent();
    cDIBSection buffer;
    buffer.ClearUp();
    buffer.CreateFromPicture(surface.picture());
    if (!WriteJpegFile(buffer, path, 90)) {
        WriteLog(QStringLiteral("Error WJPF:0001"));
        MsgBox(QStringLiteral("Error writing ") + path + QStringLiteral("JPEG File."),
               MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbCritical, QString::fromLatin1(kAppTitle));
    }
}
