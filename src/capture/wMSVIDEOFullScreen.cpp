#include "wMSVIDEOFullScreen.h"

#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <cmath>

wMSVIDEOFullScreen::wMSVIDEOFullScreen(Master& m, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), m_master(m) {
    setObjectName(QStringLiteral("wMSVIDEOFullScreen"));
    setWindowTitle(QStringLiteral("FullScreen"));
    setModal(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->geometry());
    // Asked of the desktop too: a Wayland compositor places windows itself and gives the
    // whole screen only to a window in the full-screen state.
    setWindowState(Qt::WindowFullScreen);
    // The handle of the video display window, given back on close.
    m_previous = MSVIDEO::CaptureWindow;
}

wMSVIDEOFullScreen::~wMSVIDEOFullScreen() {
    Form_Unload();
}

QPoint wMSVIDEOFullScreen::centredPosition(QSize screen, QSize video) {
    const double left = double(screen.width() - video.width()) / 2.0;
    const double top = double(screen.height() - video.height()) / 2.0;
    return {int(std::nearbyint(left)), int(std::nearbyint(top))}; // half to even
}

void wMSVIDEOFullScreen::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        Form_Activate();
    }
}

void wMSVIDEOFullScreen::Form_Activate() {
    m_own = MSVIDEO::CreateCaptureWindow(this);
    MSVIDEO::CaptureWindow = m_own;
    MSVIDEO::ConnectDriver(m_own, 0);
    CAPDRIVERCAPS caps{};
    MSVIDEO::GetDriverCaps(m_own, caps);
    MSVIDEO::StartPreview(m_own, m_master.MSVIDEOPreviewRate->currentIndex() + 1);
    CAPSTATUS status{};
    MSVIDEO::GetCaptureStatus(m_own, status);
    if (status.fScale) {
        // Centred at the video's own size.
        const QPoint at = centredPosition(size(), QSize(int(status.uiImageWidth), int(status.uiImageHeight)));
        MSVIDEO::FitCaptureWindow(m_own, at.y(), at.x(), int(status.uiImageHeight), int(status.uiImageWidth));
    } else {
        // Stretched over the whole window.
        MSVIDEO::SetPreviewScale(m_own, true);
        MSVIDEO::FitCaptureWindow(m_own, 0, 0, height(), width());
    }
    if (m_master.msvideotoolbar->Value(QStringLiteral("vidoverlay")) == 1) MSVIDEO::StartOverlay(m_own);
    MsgBox(QStringLiteral("Press any key to leave Fullscreen mode..."), MsgBoxStyle::vbInformation,
           QStringLiteral("Video Kelvanor 2000"));
}

void wMSVIDEOFullScreen::keyPressEvent(QKeyEvent* event) {
    // Any key leaves, a modifier pressed alone too.
    event->accept();
    close();
}

void wMSVIDEOFullScreen::Form_Unload() {
    if (m_own) {
        MSVIDEO::CaptureResult = MSVIDEO::DestroyCaptureWindow(m_own);
        m_own = 0;
    }
    // Later commands address the video display window's capture window again.
    MSVIDEO::CaptureWindow = m_previous;
}
