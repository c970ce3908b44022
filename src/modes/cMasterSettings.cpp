#include "cMaster.h"

#include "MSVIDEO.h"
#include "cMSVIDEO.h"
#include "wOtherInfo.h"

namespace cMaster {

// Messages to the capture window, and the file dialog's proposal, go only while the
// device panel is shown (it is from start-up on).

void ShowCompressionDialog(Master& m) {
    if (m.MSVIDEOSmartPanel->Visible()) cMSVIDEO::ShowCompressionOptions();
}

void ChooseMovieFileName(Master& m) {
    CommonDialog& dialog = m.MasterDialog;
    if (m.MSVIDEOSmartPanel->Visible()) dialog.FileName = MSVIDEO::MovieFileName;
    dialog.DialogTitle = QStringLiteral("Set Movie Clip filename...");
    dialog.Filter = QStringLiteral("Movie Clips (*.AVI)|*.avi");
    // A cancel leaves the proposal as the dialog's file name, so it changes nothing.
    dialog.ShowSave();
    const QString name = dialog.FileName;
    if (m.MSVIDEOSmartPanel->Visible())
        MSVIDEO::CaptureResult = MSVIDEO::SetCaptureFileName(MSVIDEO::CaptureWindow, name);
    MSVIDEO::MovieFileName = name;
    m.MasterStatus->setText(QStringLiteral("filename"), QStringLiteral("Filename: ") + name);
}

void ShowOtherInformation(Master& m) {
    auto* window = m.findChild<wOtherInfo*>(QStringLiteral("wOtherInfo"), Qt::FindDirectChildrenOnly);
    if (!window) {
        window = new wOtherInfo(&m);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void ReadCaptureFileName(Master& m) {
    MSVIDEO::MovieFileName =
        m.MSVIDEOSmartPanel->Visible() ? MSVIDEO::GetCaptureFileName(MSVIDEO::CaptureWindow) : QString();
}

} // namespace cMaster
