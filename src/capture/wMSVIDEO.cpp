#include "wMSVIDEO.h"

#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "SystemMetrics.h"

#include <QMdiSubWindow>
#include <QPointer>
#include <cmath>

namespace {
QPointer<wMSVIDEO> g_window;
}

wMSVIDEO* wMSVIDEO::instance() {
    return g_window.data();
}

wMSVIDEO::wMSVIDEO(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("wMSVIDEO"));
    setWindowTitle(QStringLiteral("Video Display"));
    setAttribute(Qt::WA_DeleteOnClose);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
}

wMSVIDEO::~wMSVIDEO() {
    Form_Unload();
}

wMSVIDEO* wMSVIDEO::Show(Master& m) {
    auto* window = new wMSVIDEO;
    g_window = window;
    QMdiSubWindow* sub = m.MDIClient->addSubWindow(window);
    sub->setObjectName(QStringLiteral("wMSVIDEOFrame"));
    sub->setAttribute(Qt::WA_DeleteOnClose);
    window->Form_Load();
    sub->show();
    window->RefreshWindow();
    // Each activation re-reads the driver's records.
    QObject::connect(m.MDIClient, &QMdiArea::subWindowActivated, window, [window](QMdiSubWindow* active) {
        if (active && active == window->frame() && !window->m_unloaded) window->RefreshWindow();
    });
    return window;
}

void wMSVIDEO::Unload() {
    if (wMSVIDEO* w = g_window.data()) {
        w->Form_Unload();
        if (QMdiSubWindow* sub = w->frame())
            delete sub;
        else
            delete w;
    }
    g_window.clear();
}

QMdiSubWindow* wMSVIDEO::frame() const {
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

void wMSVIDEO::Form_Load() {
    // Whatever capture window was there goes first (0 at the first load).
    MSVIDEO::DestroyCaptureWindow(MSVIDEO::CaptureWindow);
    MSVIDEO::CaptureResult = 0;
    MSVIDEO::CaptureWindow = MSVIDEO::CreateCaptureWindow(this);
    MSVIDEO::CaptureResult = MSVIDEO::ConnectDriver(MSVIDEO::CaptureWindow, MSVIDEO::DeviceIndex);
    const bool caps = MSVIDEO::GetDriverCaps(MSVIDEO::CaptureWindow, MSVIDEO::CapDriverCaps);
    MSVIDEO::CaptureResult = caps;
    if (!caps)
        MsgBox(QStringLiteral("Can't connect this device."), MsgBoxStyle::vbCritical,
               QStringLiteral("Video Kelvanor 2000"));
    FitToVideo();
}

void wMSVIDEO::Form_Unload() {
    if (m_unloaded) return;
    m_unloaded = true;
    // The handle this window created, unless full screen holds CaptureWindow just now.
    MSVIDEO::DestroyCaptureWindow(MSVIDEO::CaptureWindow);
    MSVIDEO::CaptureWindow = 0;
}

QSize wMSVIDEO::windowSizeTwips(int videoWidth, int videoHeight) {
    const double height = SystemMetrics::twipsPerPixelY() *
                          (SystemMetrics::captionHeight() + videoHeight + 2 * SystemMetrics::borderHeight());
    const double width = SystemMetrics::twipsPerPixelX() * (SystemMetrics::borderWidth() + videoWidth);
    return {int(std::lround(width)), int(std::lround(height))};
}

void wMSVIDEO::FitToVideo() {
    MSVIDEO::FitCaptureWindow(MSVIDEO::CaptureWindow, 0, 0, 0, 0);
    MSVIDEO::GetCaptureStatus(MSVIDEO::CaptureWindow, MSVIDEO::CapStatus);
    const int w = int(MSVIDEO::CapStatus.uiImageWidth);
    const int h = int(MSVIDEO::CapStatus.uiImageHeight);
    m_twips = windowSizeTwips(w, h);
    MSVIDEO::FitCaptureWindow(MSVIDEO::CaptureWindow, 0, 0, h, w);
    // The window's inside takes the video's size exactly, so no edge of the picture
    // is hidden under the frame.
    if (w > 0 && h > 0) {
        setFixedSize(w, h);
        if (QMdiSubWindow* sub = frame()) sub->adjustSize();
    }
    const QString caption = MSVIDEO::GetDriverName(MSVIDEO::DeviceIndex);
    setWindowTitle(caption);
    if (QMdiSubWindow* sub = frame()) sub->setWindowTitle(caption);
}

void wMSVIDEO::RefreshWindow() {
    if (QMdiSubWindow* sub = frame()) sub->raise();
    FitToVideo();
    MSVIDEO::CaptureResult = MSVIDEO::GetDriverCaps(MSVIDEO::CaptureWindow, MSVIDEO::CapDriverCaps);
    MSVIDEO::CaptureResult = MSVIDEO::GetCaptureStatus(MSVIDEO::CaptureWindow, MSVIDEO::CapStatus);
    MSVIDEO::CaptureResult = MSVIDEO::GetCaptureSetup(MSVIDEO::CaptureWindow, MSVIDEO::CaptureParms);
}
