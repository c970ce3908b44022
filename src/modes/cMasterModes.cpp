#include "cMaster.h"

#include "MSVIDEO.h"
#include "Vars.h"
#include "vfw.h"

#include <QByteArray>
#include <initializer_list>

namespace cMaster {

namespace {

const QString kFilenamePanel = QStringLiteral("filename");

// Presses the button of the current mode and raises the other three.
void pressModeButton(Master& m, const char* current) {
    for (const char* key : {"movie", "image", "multiple", "webcam"})
        m.MainToolbar->setValue(QLatin1String(key), qstrcmp(key, current) == 0 ? 1 : 0);
}

// Shows `shown` and hides the other mode panels.
void showModePanel(Master& m, SmartPanel* shown, bool captureControls) {
    for (SmartPanel* panel : {m.MoviePanel, m.ImagePanel, m.MultipleImagePanel, m.WebcamPanel})
        panel->setVisible(panel == shown);
    m.ControlStatusPanel->setVisible(captureControls);
}

// The device panel on top, then `order` one below the other.
void stackPanels(Master& m, std::initializer_list<SmartPanel*> order) {
    m.MSVIDEOSmartPanel->setTop(0);
    int top = m.MSVIDEOSmartPanel->Top() + m.MSVIDEOSmartPanel->Height();
    for (SmartPanel* panel : order) {
        panel->setTop(top);
        top = panel->Top() + panel->Height();
    }
}

void showFileName(Master& m) {
    m.MasterStatus->setText(kFilenamePanel, QStringLiteral("Filename: ") + MSVIDEO::MovieFileName);
}

void setExtension(Master& m, const char* extension) {
    MSVIDEO::MovieFileName = WithExtension(MSVIDEO::MovieFileName, 3, QLatin1String(extension));
    showFileName(m);
}

// Owns a capture window made only to be asked something, destroyed on scope exit.
class ScratchCaptureWindow {
public:
    ScratchCaptureWindow() : m_handle(capCreateCaptureWindowA("VIDEO WINDOW", 0, 0, 0, 0, 0, nullptr, 0)) {}
    ~ScratchCaptureWindow() {
        if (m_handle) DestroyWindow(m_handle);
    }
    ScratchCaptureWindow(const ScratchCaptureWindow&) = delete;
    ScratchCaptureWindow& operator=(const ScratchCaptureWindow&) = delete;
    HWND handle() const { return m_handle; }

private:
    HWND m_handle;
};

} // namespace

QString DefaultCaptureFileName() {
    ScratchCaptureWindow window;
    return MSVIDEO::GetCaptureFileName(window.handle());
}

QString WithExtension(const QString& name, int cut, const QString& extension) {
    QString base = name;
    if (base.size() < cut) base = DefaultCaptureFileName();
    if (base.size() < cut) // no capture service answered: nothing sensible to cut
        return extension.startsWith(QLatin1Char('.')) ? QStringLiteral("capture") + extension
                                                      : QStringLiteral("capture.") + extension;
    return base.left(base.size() - cut) + extension;
}

void UpdateStampText(Master& m) {
    Vars::StampText = m.MultipleImagePanel->Visible() ? m.MultipleImageText->text() : m.ImageText->text();
}

void SelectMovieMode(Master& m) {
    pressModeButton(m, "movie");
    showModePanel(m, m.MoviePanel, true);
    stackPanels(m, {m.MoviePanel, m.AudioToolbar, m.ControlStatusPanel});
    m.MovieDisableLimit->setChecked(false);
    UpdateCaptureFileName(m);
    UpdateStampText(m);
}

void SelectImageMode(Master& m) {
    pressModeButton(m, "image");
    showModePanel(m, m.ImagePanel, true);
    stackPanels(m, {m.ImagePanel, m.ControlStatusPanel});
    m.ShowAudioPanel(false);
    UpdateCaptureFileName(m);
    UpdateStampText(m);
}

void SelectMultipleImageMode(Master& m) {
    pressModeButton(m, "multiple");
    showModePanel(m, m.MultipleImagePanel, true);
    stackPanels(m, {m.MultipleImagePanel, m.ControlStatusPanel});
    m.ShowAudioPanel(false);
    UpdateCaptureFileName(m);
    UpdateStampText(m);
}

void SelectWebcamMode(Master& m) {
    pressModeButton(m, "webcam");
    showModePanel(m, m.WebcamPanel, false);
    stackPanels(m, {m.WebcamPanel, m.ControlStatusPanel});
    // The audio panel sits in the movie column; left shown it would cover the webcam panel.
    m.ShowAudioPanel(false);
    UpdateStampText(m);
}

void UpdateCaptureFileName(Master& m) {
    if (m.MoviePanel->Visible()) setExtension(m, "avi");
    if (m.ImagePanel->Visible()) m.MasterStatus->setText(kFilenamePanel, QString());
    if (m.MultipleImagePanel->Visible()) {
        switch (m.MultipleImageMode->currentIndex()) {
        case 0:
            setExtension(m, "avi");
            break;
        case 1:
        case 3:
            setExtension(m, "bmp");
            break;
        case 2:
        case 4:
            setExtension(m, "jpg");
            break;
        case 5: // clipboard: no file, the name is kept for the next file type
            m.MasterStatus->setText(kFilenamePanel, QString());
            break;
        default:
            break;
        }
    }
}

} // namespace cMaster
