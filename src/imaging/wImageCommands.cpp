// The image window's toolbar commands: open, save, print, clipboard.
#include "wImage.h"

#include "Clipboard.h"
#include "CommonDialog.h"
#include "JPEG.h"
#include "MsgBox.h"
#include "PictureBox.h"
#include "PictureFile.h"
#include "wPrintTarget.h"

#include <QApplication>
#include <QFileInfo>
#include <optional>

namespace {

// The hourglass over the window for the length of a command.
class BusyPointer {
public:
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

} // namespace

void wImage::Mastertoolbar_ButtonClick(const QString& key) {
    if (key == QLatin1String("open")) {
        m_dialog->Filter =
            QStringLiteral("All files |*.bmp;*.jpg|Bitmap File (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|");
        if (m_dialog->ShowOpen()) openFile(m_dialog->FileName);
    } else if (key == QLatin1String("save")) {
        m_dialog->Filter = QStringLiteral("Bitmap File (*.bmp)|*.bmp|JPEG Image File (*.jpg)|*.jpg|");
        m_dialog->FileName = caption();
        if (m_dialog->ShowSave()) saveFile(m_dialog->FileName);
    } else if (key == QLatin1String("print")) {
        printImage();
    } else if (key == QLatin1String("clipboard")) {
        copyToClipboard();
    }
}

bool wImage::openFile(const QString& path) {
    auto busy = std::make_optional<BusyPointer>();
    const QImage picture = LoadPicture(path);
    if (picture.isNull()) {
        // The old picture, its stamps and its caption stay.
        busy.reset();
        MsgBox(QStringLiteral("Bad file format."), MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbCritical,
               QString::fromLatin1(kAppTitle));
        return false;
    }
    m_image->Cls();
    m_image->setAutoRedraw(false);
    m_image->setPicture(picture);
    m_image->setAutoRedraw(true);
    QCoreApplication::processEvents();
    setCaption(QFileInfo(path).fileName());
    Form_Activate();
    return true;
}

void wImage::saveFile(const QString& path) {
    BusyPointer busy;
    const QString ending = path.right(3).toLower();
    if (ending == QLatin1String("bmp")) {
        setCaption(QFileInfo(path).fileName());
        SaveImageAsBitmap(*m_image, path);
    } else if (ending == QLatin1String("jpg")) {
        setCaption(QFileInfo(path).fileName());
        SaveImageAsJpeg(*m_image, path);
    }
}

bool wImage::printImage() {
    wPrintTarget target;
    target.setPicture(m_image->image());
    QString error;
    if (!target.PrintForm(caption(), &error)) {
        MsgBox(QStringLiteral("The picture could not be printed: ") + error,
               MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbCritical, QString::fromLatin1(kAppTitle));
        return false;
    }
    return true;
}

void wImage::copyToClipboard() {
    Clipboard::clear();
    Clipboard::setPicture(m_image->image());
    MsgBox(QStringLiteral("Image on Clipboard."), MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbInformation,
           QString::fromLatin1(kAppTitle));
}
