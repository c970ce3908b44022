#include "cMaster.h"

#include "Clipboard.h"
#include "EventLog.h"
#include "JPEG.h"
#include "MSVIDEO.h"
#include "PictureBox.h"
#include "PictureFile.h"
#include "Vars.h"
#include "cMSVIDEO.h"
#include "wImage.h"
#include "wMultiImage.h"

#include <QCoreApplication>
#include <QPointer>
#include <limits>

namespace cMaster {

namespace {

// True while a shot is being taken: a timer tick that comes meanwhile is skipped.
bool g_shooting = false;

bool devicePanelShown(const Master& m) {
    return m.MSVIDEOSmartPanel->Visible();
}

StampSettings stamps(const KeyedToolbar* bar, const QComboBox* time, const QComboBox* date,
                     const QComboBox* text) {
    StampSettings s = StampSettings::fromVars();
    s.timeOn = bar->Value(QStringLiteral("time")) == 1;
    s.timePosition = qint16(time->currentIndex());
    s.dateOn = bar->Value(QStringLiteral("date")) == 1;
    s.datePosition = qint16(date->currentIndex());
    s.textOn = bar->Value(QStringLiteral("text")) == 1;
    s.textPosition = qint16(text->currentIndex());
    return s;
}

// Reads the frame the capture window put on the clipboard into `box` and empties
// the clipboard.
void takeClipboardFrame(PictureBox& box) {
    box.setPicture(Clipboard::picture());
    Clipboard::clear();
}

// The File menu's mode items and "Open Capture File..." (a parameters file selects
// its mode) stay off while a run goes: the run must end in the mode it started in,
// where its stop and its timer belong.
void setRunCommandsEnabled(Master& m, bool enabled) {
    for (int index : {0, 1, 2, 5})
        m.menuItem(QStringLiteral("FileMenu"), index)->setEnabled(enabled);
}

void startMultipleImageRun(Master& m) {
    m.GlobalToolbar->setImage(QStringLiteral("record"), QStringLiteral("stop"));
    m.AllControls(false);
    setRunCommandsEnabled(m, false);
    m.Shooter->setEnabled(true);
    m.MultipleImageFrameRate->setEnabled(false);
    if (m.MultipleImageAutoShoot->isChecked()) {
        Vars::ShotInterval = qint32(MSVIDEO::TimeToSeconds(m.MultipleImageHoursControl->value(),
                                                           m.MultipleImageMinutesControl->value(),
                                                           m.MultipleImageSecondsControl->value()));
        Vars::ShotElapsed = 0;
        m.MultipleImageTimer->start();
    }
    if (m.MultipleImageMode->currentIndex() != 0 || !devicePanelShown(m)) return;
    CAPTUREPARMS& p = MSVIDEO::CaptureParms;
    p.AVStreamMaster = AVSTREAMMASTER_AUDIO;
    p.fDisableWriteCache = 1;
    p.fYield = 1;
    p.fAbortLeftMouse = 1;
    p.fAbortRightMouse = 1;
    p.dwIndexSize = 324000;
    p.dwRequestMicroSecPerFrame =
        DWORD(MSVIDEO::FrameRateToMicroSec(m.MultipleImageFrameRate->currentIndex() + 1));
    MSVIDEO::CaptureResult = MSVIDEO::SetCaptureSetup(MSVIDEO::CaptureWindow, p);
    // The frames go to the file the user chose for this mode, under exactly that name.
    MSVIDEO::CaptureResult = MSVIDEO::SetCaptureFileName(MSVIDEO::CaptureWindow, MSVIDEO::MovieFileName);
    MSVIDEO::CaptureResult = MSVIDEO::OpenSingleFrameCapture(MSVIDEO::CaptureWindow);
}

void stopMultipleImageRun(Master& m) {
    m.MultipleImageTimer->stop();
    m.GlobalToolbar->setImage(QStringLiteral("record"), QStringLiteral("record"));
    m.AllControls(true);
    setRunCommandsEnabled(m, true);
    m.Shooter->setEnabled(false);
    m.MultipleImageFrameRate->setEnabled(true);
    if (devicePanelShown(m) && m.MultipleImageMode->currentIndex() == 0)
        MSVIDEO::CaptureResult = MSVIDEO::CloseSingleFrameCapture(MSVIDEO::CaptureWindow);
    wMultiImage::unload();
}

// Writes the bank window's picture as a bitmap. A failure is said in the status line
// and the log, without a modal box, so an automatic run goes on with its next shot.
bool writeBitmap(Master& m, wMultiImage& bank, const QString& path) {
    QString reason;
    if (WriteBitmapFile(*bank.MasterImage(), path, &reason)) return true;
    const QString text = QStringLiteral("Cannot write ") + path + QStringLiteral(": ") + reason;
    m.StatusString->setText(text);
    WriteLog(text);
    return false;
}

// A multiple-image run is going while the record button shows "stop".
bool runGoing(const Master& m) {
    return m.GlobalToolbar->Image(QStringLiteral("record")) == QLatin1String("stop");
}

QString number(qint32 counter) {
    return QString::number(counter).rightJustified(5, QLatin1Char('0'));
}

// A JPEG that cannot be written is said in a modal box, and while the box waits the
// run may end (a termination signal, the scheduled start's end) and take the bank
// window with it.
void captionAfterBox(const QPointer<wMultiImage>& bank, qint32 counter, const QString& path) {
    if (bank)
        bank->setCaption(path);
    else
        WriteLog(QStringLiteral("Shot ") + number(counter) +
                 QStringLiteral(" abandoned: the run has ended."));
}

} // namespace

StampSettings multipleImageStamps(const Master& m) {
    return stamps(m.MultipleImageToolbar2, m.MultipleImageTimePosition, m.MultipleImageDatePosition,
                  m.MultipleImageTextPosition);
}

StampSettings imageStamps(const Master& m) {
    return stamps(m.ImageToolbar, m.ImageTimePosition, m.ImageDatePosition, m.ImageTextPosition);
}

void CaptureAction(Master& m, bool start) {
    if (CloseScheduledStart) CloseScheduledStart();

    if (m.MoviePanel->Visible()) {
        MSVIDEO::MovieFrameRate = qint16(m.MovieFrameRateControl->value());
        if (start) {
            m.GlobalToolbar->hide();
            QCoreApplication::processEvents();
            if (devicePanelShown(m)) cMSVIDEO::RecordMovie(m);
        } else {
            if (devicePanelShown(m)) MSVIDEO::CaptureResult = MSVIDEO::StopCapture(MSVIDEO::CaptureWindow);
            m.GlobalToolbar->show();
        }
        return;
    }

    if (m.ImagePanel->Visible()) {
        // Every call takes one picture, whatever the flag.
        if (devicePanelShown(m))
            MSVIDEO::CaptureResult = MSVIDEO::CopyFrameToClipboard(MSVIDEO::CaptureWindow);
        const QPointer<wImage> window = wImage::mainInstance(m.MDIClient);
        takeClipboardFrame(*window->MasterImage());
        window->MasterImage()->setAutoRedraw(true);
        window->MasterImage()->Cls();
        QCoreApplication::processEvents();
        if (!window) return; // closed by the user meanwhile
        window->setCaption(QStringLiteral("Untitled "));
        window->showWindow();
        StampFrame(*window->MasterImage(), imageStamps(m));
        return;
    }

    if (m.MultipleImagePanel->Visible()) {
        MSVIDEO::MovieFrameRate = qint16(m.MultipleImageFrameRate->currentIndex() + 1);
        Vars::ImageCounter = 0;
        if (start)
            startMultipleImageRun(m);
        else
            stopMultipleImageRun(m);
        return;
    }
    // Webcam mode captures nothing.
}

void CaptureStillImage(Master& m) {
    if (g_shooting) return;
    if (Vars::ImageCounter == std::numeric_limits<qint32>::max()) {
        // The numbering cannot go on without repeating names: end the run.
        const QString text = QStringLiteral("The shot counter is full: the run has been stopped.");
        if (CloseScheduledStart) CloseScheduledStart();
        Vars::ImageCounter = 0;
        stopMultipleImageRun(m);
        m.StatusString->setText(text);
        WriteLog(text);
        return;
    }
    g_shooting = true;
    struct Done {
        ~Done() { g_shooting = false; }
    } done;

    Vars::ImageCounter += 1;
    // The shot keeps its own number: a stop meanwhile sets the run's counter to 0.
    const qint32 counter = Vars::ImageCounter;
    const int type = m.MultipleImageMode->currentIndex();
    if (type == 0) {
        if (devicePanelShown(m)) MSVIDEO::CaptureResult = MSVIDEO::CaptureSingleFrame(MSVIDEO::CaptureWindow);
        return;
    }

    if (devicePanelShown(m)) {
        MSVIDEO::CaptureResult = MSVIDEO::CopyFrameToClipboard(MSVIDEO::CaptureWindow);
        MSVIDEO::CaptureResult = MSVIDEO::CopyFrameToClipboard(MSVIDEO::CaptureWindow);
    }
    // The copy above may have waited for a first frame, and the pass of pending
    // events below runs whatever the user did meanwhile: a click on stop ends the
    // run and closes the bank window, a device change replaces the capture window.
    // The shot then ends without writing anything.
    if (!runGoing(m)) {
        // Stopped while the copy waited for its frame.
        Clipboard::clear();
        WriteLog(QStringLiteral("Shot ") + number(counter) +
                 QStringLiteral(" abandoned: the run has ended."));
        return;
    }
    const QPointer<wMultiImage> bank = wMultiImage::instance(m.MDIClient);
    takeClipboardFrame(*bank->MasterImage());
    bank->MasterImage()->setAutoRedraw(true);
    bank->Cls();
    QCoreApplication::processEvents();
    if (!bank || !runGoing(m)) {
        WriteLog(QStringLiteral("Shot ") + number(counter) +
                 QStringLiteral(" abandoned: the run has ended."));
        return;
    }
    PictureBox& box = *bank->MasterImage();
    bank->setCaption(QStringLiteral("Untitled "));
    bank->showWindow();
    StampFrame(box, multipleImageStamps(m));

    const QString base = WithExtension(MSVIDEO::MovieFileName, 4, QString());
    switch (type) {
    case 1: {
        const QString path = base + number(counter) + QStringLiteral(".bmp");
        m.StatusString->setText(QStringLiteral("Writing... ") + path);
        if (writeBitmap(m, *bank, path)) bank->setCaption(path);
        break;
    }
    case 2: {
        const QString path = base + number(counter) + QStringLiteral(".jpg");
        SaveImageAsJpeg(box, path);
        captionAfterBox(bank, counter, path);
        break;
    }
    case 3: {
        const QString path = base + QStringLiteral(".bmp");
        m.StatusString->setText(QStringLiteral("Refresh... ") + path);
        if (writeBitmap(m, *bank, path)) bank->setCaption(path);
        break;
    }
    case 4: {
        const QString path = base + QStringLiteral(".jpg");
        SaveImageAsJpeg(box, path);
        captionAfterBox(bank, counter, path);
        break;
    }
    case 5:
        Clipboard::setPicture(box.image());
        bank->setCaption(QStringLiteral("Clipboard"));
        break;
    default:
        break;
    }
}

bool ShotInProgress() {
    return g_shooting;
}

void CaptureFrameToWindow(Master& m) {
    if (devicePanelShown(m)) MSVIDEO::CaptureResult = MSVIDEO::CopyFrameToClipboard(MSVIDEO::CaptureWindow);
    const QPointer<wImage> window = wImage::create(m.MDIClient);
    takeClipboardFrame(*window->MasterImage());
    window->MasterImage()->setAutoRedraw(true);
    QCoreApplication::processEvents();
    if (!window) return; // closed by the user meanwhile
    window->setCaption(QStringLiteral("Untitled "));
    window->showWindow();
}

} // namespace cMaster
