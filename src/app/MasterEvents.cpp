#include "MasterEvents.h"

#include "CameraSettings.h"
#include "Commands.h"
#include "DiskSpace.h"
#include "EventLog.h"
#include "MSVIDEO.h"
#include "MsgBox.h"
#include "PanelEvents.h"
#include "Vars.h"
#include "WinApi32.h"
#include "cMSVIDEO.h"
#include "cMaster.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

MasterEvents::MasterEvents(Master& form) : QObject(&form), m(form) {
    setObjectName(QStringLiteral("MasterEvents"));
    connect(m.MasterTimer, &QTimer::timeout, this, &MasterEvents::MasterTimer_Timer);
    m.onCloseRequest = [this] { return QueryUnload(); };
    Commands::connectAll(m);
    PanelEvents::connectAll(m);
}

void MasterEvents::setInitialValues() {
    MSVIDEO::PreviewRate = 10;
    Vars::ScheduledStartHours = 0;
    Vars::ScheduledStartMinutes = 0;
    Vars::ScheduledStartSeconds = 10;
}

void MasterEvents::Form_Load(const LoadOptions& options) {
    // Each step runs with errors ignored: a step that fails leaves what it shows
    // unchanged and the load goes on.

    // The volume program's items only where it is installed.
    const bool volume = WinApi32::VolumeProgramExists();
    m.menuItem(QStringLiteral("AudioMenu"), 11)->setEnabled(volume);
    m.menuItem(QStringLiteral("AudioMenu"), 13)->setEnabled(volume);
    // 640 x 480 pixels, frame and title bar included.
    m.setWholeSize(QSize(640, 480));

    // The panels stacked along the top edge.
    m.MSVIDEOSmartPanel->setTop(0);
    m.MoviePanel->setTop(m.MSVIDEOSmartPanel->Height());
    m.ImagePanel->setTop(m.MoviePanel->Top() + m.MoviePanel->Height());
    m.MultipleImagePanel->setTop(m.ImagePanel->Top() + m.ImagePanel->Height());
    m.WebcamPanel->setTop(m.MultipleImagePanel->Top() + m.MultipleImagePanel->Height());
    m.ControlStatusPanel->setTop(m.WebcamPanel->Top() + m.WebcamPanel->Height());

    // The viewer frame-rate list: " 1 FPS" to " 30 FPS", 11 frames/s selected.
    m.MultipleImageFrameRate->clear();
    for (int fps = 1; fps <= 30; ++fps)
        m.MultipleImageFrameRate->addItem(QLatin1Char(' ') + QString::number(fps) + QStringLiteral(" FPS"));
    m.MultipleImageFrameRate->setCurrentIndex(10);

    m.MultipleImageMode->setCurrentIndex(0);
    m.MultipleImageTimePosition->setCurrentIndex(0);
    m.MultipleImageDatePosition->setCurrentIndex(0);
    m.MultipleImageTextPosition->setCurrentIndex(0);
    m.ImageTimePosition->setCurrentIndex(0);
    m.ImageDatePosition->setCurrentIndex(0);
    m.ImageTextPosition->setCurrentIndex(0);

    Master::paintSwatch(m.ImageTimeColor, Vars::StampTimeColor);
    Master::paintSwatch(m.MultipleImageTimeColor, Vars::StampTimeColor);
    Master::paintSwatch(m.ImageDateColor, Vars::StampDateColor);
    Master::paintSwatch(m.MultipleImageDateColor, Vars::StampDateColor);
    Master::paintSwatch(m.ImageTextColor, Vars::StampTextColor);
    Master::paintSwatch(m.MultipleImageTextColor, Vars::StampTextColor);

    // Each camera's format and settings, kept apart from the capture parameters files.
    CameraSettings::setFile(QDir(Vars::StartupDirectory).filePath(QStringLiteral("cameras.ini")));
    cMSVIDEO::StartVideoDevice(m, options.deviceIndex);
    cMaster::ReadCaptureFileName(m);

    WriteLog(QStringLiteral("Init OK."));

    // The last run's mode and settings; movie mode on a first start.
    if (options.restoreLastRun)
        cMaster::RestoreLastRun(m);
    else
        cMaster::SelectMovieMode(m);

    WriteLog(QStringLiteral("KL2 ok"));

    m.MasterTimer->start();
}

QString MasterEvents::FreeSpaceText(std::optional<quint64> freeBytes) {
    constexpr quint64 kMegabyte = 1048576;
    if (!freeBytes || *freeBytes <= kMegabyte) return QStringLiteral("Disk Full (< 1Mb)");
    return QStringLiteral("Free Space:  ") + QString::number(*freeBytes / kMegabyte) + QStringLiteral(" Mb");
}

void MasterEvents::MasterTimer_Timer() {
    m.MasterStatus->setText(QStringLiteral("diskcap"),
                            FreeSpaceText(DiskSpace::freeBytesFor(MSVIDEO::MovieFileName)));
}

bool MasterEvents::QueryUnload() {
    // The settings are kept first and always, also when the user stays.
    cMaster::SaveLastRun(m);
    const int answer =
        MsgBox(QStringLiteral("Are you sure you want to quit ?"),
               MsgBoxStyle::vbYesNo | MsgBoxStyle::vbQuestion, QStringLiteral("Video Kelvanor 2000"));
    return answer == MsgBoxResult::vbYes;
}

bool MasterEvents::movieCaptureRunning() const {
    CAPSTATUS status{};
    return MSVIDEO::GetCaptureStatus(MSVIDEO::CaptureWindow, status) && status.fCapturingNow != 0;
}

void MasterEvents::EndFromOutside(int signalNumber) {
    if (m_ending) return;
    m_ending = true;
    WriteLog(QStringLiteral("End asked from outside (signal ") + QString::number(signalNumber) +
             QLatin1Char(')'));
    // A multiple-image run: its stop closes the single-frame movie.
    if (m.MultipleImagePanel->Visible() &&
        m.GlobalToolbar->Image(QStringLiteral("record")) == QLatin1String("stop"))
        cMaster::CaptureAction(m, false);
    if (movieCaptureRunning()) {
        // The recorder finishes the file on its own threads; the status callback says
        // when it has, after the information chunk has gone in.
        cMSVIDEO::CaptureIdle = [this] {
            if (!movieCaptureRunning()) QTimer::singleShot(0, this, &MasterEvents::finishEndFromOutside);
        };
        MSVIDEO::CaptureResult = MSVIDEO::StopCapture(MSVIDEO::CaptureWindow);
        if (movieCaptureRunning()) return;
    }
    finishEndFromOutside();
}

void MasterEvents::finishEndFromOutside() {
    if (m_finished) return;
    m_finished = true;
    cMSVIDEO::CaptureIdle = nullptr;
    // As at every close request; the capture is over, so the file holds what it left.
    cMaster::SaveLastRun(m);
    WriteLog(QStringLiteral("End"));
    // exit(), not quit(): quit() would put the close request and its question first.
    QCoreApplication::exit(0);
}
