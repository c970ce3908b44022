#include "cMSVIDEO.h"

#include "CameraSettings.h"
#include "DeviceWatcher.h"
#include "DriverList.h"
#include "EventLog.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "wMSVIDEO.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace cMSVIDEO {

namespace {

void showWhatTheDriverReports(Master& m) {
    if (!MSVIDEO::GetCaptureStatus(MSVIDEO::CaptureWindow, MSVIDEO::CapStatus)) {
        // No device answers: neither mode is on.
        m.msvideotoolbar->setValue(QStringLiteral("vidoverlay"), 0);
        m.msvideotoolbar->setValue(QStringLiteral("vidpreview"), 0);
        return;
    }
    if (MSVIDEO::CapStatus.fLiveWindow == 1) {
        m.msvideotoolbar->setValue(QStringLiteral("vidoverlay"), 0);
        m.msvideotoolbar->setValue(QStringLiteral("vidpreview"), 1);
    }
    if (MSVIDEO::CapStatus.fOverlayWindow == 1) {
        m.msvideotoolbar->setValue(QStringLiteral("vidoverlay"), 1);
        m.msvideotoolbar->setValue(QStringLiteral("vidpreview"), 0);
    }
}

// The device list follows the devices: entries of cameras that came or went are added
// or taken away, and the connected entry stays selected wherever it moves. Each
// item's data is the entry's identity.
void followDeviceList(Master& m) {
    QComboBox* list = m.MSVIDEODevice;
    const QString selected = list->currentData().toString();
    QStringList before, beforeNames;
    for (int i = 0; i < list->count(); ++i) {
        before << list->itemData(i).toString();
        beforeNames << list->itemText(i);
    }
    QStringList after;
    const QSignalBlocker blocker(list);
    list->clear();
    for (const DriverList::Entry& entry : DriverList::entries()) {
        list->addItem(entry.name, entry.followKey());
        after << entry.followKey();
        if (!before.contains(entry.followKey())) WriteLog(QStringLiteral("Device added: ") + entry.name);
    }
    for (int i = 0; i < before.size(); ++i)
        if (!after.contains(before[i])) WriteLog(QStringLiteral("Device removed: ") + beforeNames[i]);
    const int index = list->findData(selected);
    list->setCurrentIndex(index);
    if (index >= 0) MSVIDEO::DeviceIndex = index;
}

} // namespace

QString FpsText(int framesPerSecond) {
    return QLatin1Char(' ') + QString::number(framesPerSecond) + QStringLiteral(" FPS");
}

void StartVideoDevice(Master& m, int index) {
    // The toolbar already sits in its panel (the form attached it).
    m.MSVIDEOPreviewRate->clear();
    for (int fps = 1; fps <= 40; ++fps)
        m.MSVIDEOPreviewRate->addItem(FpsText(fps));
    m.MSVIDEOPreviewRate->setCurrentIndex(
        MSVIDEO::PreviewRate < 1 ? 11 : std::min<int>(MSVIDEO::PreviewRate, 40) - 1);

    if (!MSVIDEO::HasDrivers())
        MsgBox(QStringLiteral("There is no Video Compatible device with Microsoft Video for Windows."),
               MsgBoxStyle::vbCritical, QStringLiteral("Video Kelvanor 2000"));

    m.MSVIDEODevice->clear();
    const int count = MSVIDEO::CountDrivers();
    for (int i = 0; i < count; ++i) {
        const QString name = MSVIDEO::GetDriverName(i);
        const auto entry = DriverList::entry(i);
        m.MSVIDEODevice->addItem(name, entry ? entry->followKey() : QString());
        WriteLog(QStringLiteral("Device ") + QLatin1Char(' ') + QString::number(i) + QLatin1Char(':') + name);
    }
    // Cameras plugged in or out from now on update the list.
    if (!m.findChild<DeviceWatcher*>()) {
        new DeviceWatcher(DriverList::deviceFolder(), &m);
        QObject::connect(DriverList::notifier(), &DriverList::Notifier::changed, &m,
                         [&m] { followDeviceList(m); });
    }
    if (count == 0) return; // nothing to select: the load goes on without a device
    // The camera used last, where it is now; else driver 0.
    const int first = index >= 0 && index < count ? index : std::max(0, CameraSettings::lastCameraIndex());
    m.MSVIDEODevice->setCurrentIndex(first);
    SelectVideoDevice(m, first);

    SetPreviewMode(m, MSVIDEO::PreviewRate);

    MSVIDEO::GetAudioFormat(MSVIDEO::CaptureWindow, MSVIDEO::AudioFormat, 22);
    m.AudioChannels->setCurrentIndex(MSVIDEO::AudioFormat.nChannels == 1 ? 1 : 0);
    m.AudioBits->setCurrentIndex(MSVIDEO::AudioFormat.wBitsPerSample == 8 ? 0 : 1);
    switch (MSVIDEO::AudioFormat.nSamplesPerSec) {
    case 8000:
        m.AudioRate->setCurrentIndex(0);
        break;
    case 11025:
        m.AudioRate->setCurrentIndex(1);
        break;
    case 22050:
        m.AudioRate->setCurrentIndex(2);
        break;
    case 44100:
        m.AudioRate->setCurrentIndex(3);
        break;
    default:
        break; // any other rate leaves the list as it is
    }

    m.ShowAudioPanel(MSVIDEO::CaptureParms.fCaptureAudio != 0);

    const int fps = MSVIDEO::FrameRateToMicroSec(MSVIDEO::CaptureParms.dwRequestMicroSecPerFrame);
    m.MovieFrameRateControl->setValue(fps < 2 ? 12 : fps);

    m.MovieDisableLimit->setChecked(MSVIDEO::CaptureParms.fLimitEnabled != 1);
    if (MSVIDEO::CaptureParms.wTimeLimit == 0) MSVIDEO::CaptureParms.wTimeLimit = 1;
    const qint64 limit = MSVIDEO::CaptureParms.wTimeLimit;
    m.MovieHoursControl->setValue(MSVIDEO::HoursPart(limit));
    m.MovieMinutesControl->setValue(MSVIDEO::MinutesPart(limit));
    m.MovieSecondsControl->setValue(MSVIDEO::SecondsPart(limit));

    m.MasterStatus->setText(QStringLiteral("filename"),
                            QStringLiteral("Filename: ") +
                                MSVIDEO::GetCaptureFileName(MSVIDEO::CaptureWindow));
}

void SelectVideoDevice(Master& m, int index) {
    wMSVIDEO::Unload();
    MSVIDEO::DeviceIndex = index;
    wMSVIDEO::Show(m);

    MSVIDEO::CaptureResult = MSVIDEO::GetCaptureStatus(MSVIDEO::CaptureWindow, MSVIDEO::CapStatus);
    MSVIDEO::CaptureResult = MSVIDEO::GetDriverCaps(MSVIDEO::CaptureWindow, MSVIDEO::CapDriverCaps);

    const CAPDRIVERCAPS& caps = MSVIDEO::CapDriverCaps;
    m.msvideotoolbar->button(QStringLiteral("vidoverlay"))->setEnabled(caps.fHasOverlay != 0);
    m.menuItem(QStringLiteral("ViewMenu"), 0)->setEnabled(caps.fHasOverlay != 0);
    m.msvideotoolbar->button(QStringLiteral("vidsource"))->setEnabled(caps.fHasDlgVideoSource != 0);
    m.msvideotoolbar->button(QStringLiteral("viddisplay"))->setEnabled(caps.fHasDlgVideoDisplay != 0);
    m.msvideotoolbar->button(QStringLiteral("vidformat"))->setEnabled(caps.fHasDlgVideoFormat != 0);

    MSVIDEO::CaptureResult = MSVIDEO::GetCaptureStatus(MSVIDEO::CaptureWindow, MSVIDEO::CapStatus);
    if (MSVIDEO::CapStatus.fOverlayWindow == 1 && caps.fHasOverlay == 1)
        SetOverlayMode(m);
    else
        SetPreviewMode(m, MSVIDEO::PreviewRate);

    MSVIDEO::SetStatusCallback(MSVIDEO::CaptureWindow, &CaptureStatusCallback);

    WriteLog(QStringLiteral("Init OK Device ") + QLatin1Char(' ') + QString::number(index) +
             QStringLiteral(": ") + MSVIDEO::GetDriverName(index));
}

void SetPreviewMode(Master& m, int framesPerSecond) {
    MSVIDEO::CaptureResult = MSVIDEO::StartPreview(MSVIDEO::CaptureWindow, framesPerSecond);
    showWhatTheDriverReports(m);
}

void SetOverlayMode(Master& m) {
    MSVIDEO::CaptureResult = MSVIDEO::StartOverlay(MSVIDEO::CaptureWindow);
    showWhatTheDriverReports(m);
}

void ShowCompressionOptions() {
    MSVIDEO::ShowVideoCompressionDialog(MSVIDEO::CaptureWindow);
}

} // namespace cMSVIDEO
