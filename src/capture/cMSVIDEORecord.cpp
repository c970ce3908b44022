#include "cMSVIDEO.h"

#include "AviFile.h"
#include "EventLog.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "WinApi32.h"

#include <QApplication>
#include <QFile>

namespace cMSVIDEO {

namespace {

// The last error status of the driver, so a capture that does not start can say why.
QString g_lastError;
// Whether the capture under way said it began: from then on there is a movie, and
// its end text is the one to keep, whatever the capture's result.
bool g_begun = false;

QString twoDigits(quint64 n) {
    return QString::number(n).rightJustified(2, QLatin1Char('0'));
}

// The sound format the audio lists show.
WAVEFORMATEX chosenAudioFormat(const Master& m) {
    static const DWORD rates[] = {8000, 11025, 22050, 44100};
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = m.AudioChannels->currentIndex() == 1 ? 1 : 2;
    f.wBitsPerSample = m.AudioBits->currentIndex() == 0 ? 8 : 16;
    const int r = m.AudioRate->currentIndex();
    f.nSamplesPerSec = rates[r >= 0 && r < 4 ? r : 3];
    f.nBlockAlign = WORD(f.nChannels * f.wBitsPerSample / 8);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

} // namespace

QString LastErrorText() {
    return g_lastError;
}

QString ElapsedText(quint32 frames, int framesPerSecond) {
    if (framesPerSecond <= 0) return QStringLiteral("00:00:00.") + twoDigits(frames);
    const quint64 s = frames / quint32(framesPerSecond);
    const quint64 f = frames % quint32(framesPerSecond);
    return twoDigits(s / 3600) + QLatin1Char(':') + twoDigits((s % 3600) / 60) + QLatin1Char(':') +
           twoDigits(s % 60) + QLatin1Char('.') + twoDigits(f);
}

void RecordMovie(Master& m) {
    WriteLog(QStringLiteral("RECPROC i"));
    const HWND window = MSVIDEO::CaptureWindow;
    MSVIDEO::CaptureResult = MSVIDEO::SetCaptureFileName(window, MSVIDEO::MovieFileName);

    CAPTUREPARMS& p = MSVIDEO::CaptureParms;
    p.AVStreamMaster = AVSTREAMMASTER_AUDIO;
    p.fAbortLeftMouse = 1;
    p.fAbortRightMouse = 1;
    p.fCaptureAudio = m.AudioToolbar->Visible() ? 1 : 0;
    if (m.MovieDisableLimit->isChecked()) {
        p.fLimitEnabled = 0;
    } else {
        p.fLimitEnabled = 1;
        p.wTimeLimit = UINT(MSVIDEO::TimeToSeconds(
            m.MovieHoursControl->value(), m.MovieMinutesControl->value(), m.MovieSecondsControl->value()));
    }
    p.dwRequestMicroSecPerFrame = DWORD(MSVIDEO::FrameRateToMicroSec(m.MovieFrameRateControl->value()));

    // The sound format the user picked in the audio lists.
    WAVEFORMATEX format = chosenAudioFormat(m);
    SendMessageA(window, WM_CAP_SET_AUDIOFORMAT, sizeof format, reinterpret_cast<LPARAM>(&format));

    // From here on a failing step does not stop the next one.
    if (QFile::remove(MSVIDEO::MovieFileName))
        m.StatusString->setText(QStringLiteral("Replacing a existing file..."));
    MSVIDEO::CaptureResult = MSVIDEO::SetCaptureSetup(window, p);
    g_lastError.clear();
    g_begun = false;
    const bool started = MSVIDEO::CaptureSequence(window);
    MSVIDEO::CaptureResult = started;
    if (!started && !g_begun) {
        // Nothing was recorded: the record button must come back.
        m.GlobalToolbar->show();
        m.StatusTime->clear();
        m.StatusString->setText(QStringLiteral("The capture did not start: ") +
                                (g_lastError.isEmpty()
                                     ? QStringLiteral("no working capture device or the file \"%1\" "
                                                      "cannot be written.")
                                           .arg(MSVIDEO::MovieFileName)
                                     : g_lastError));
    }
}

// Room for a status that names a path of PATH_MAX bytes and more.
constexpr int kStatusTextChars = 8192;

LRESULT CaptureStatusCallback(HWND, int statusNumber, const char* text) {
    Master* m = Master::instance();
    if (!m) return 0;
    MSVIDEO::CaptureResult = MSVIDEO::GetCaptureStatus(MSVIDEO::CaptureWindow, MSVIDEO::CapStatus);
    const bool capturing = MSVIDEO::CapStatus.fCapturingNow != 0;
    if (MSVIDEO::CaptureParms.fYield != 0 && capturing) {
        m->StatusTime->setText(ElapsedText(MSVIDEO::CapStatus.dwCurrentVideoFrame, MSVIDEO::MovieFrameRate));
    } else if (!capturing) {
        m->StatusTime->clear();
        m->GlobalToolbar->show();
    }
    // The whole text: a status names the movie's file, whose path may be long, and
    // says why at its end.
    const QString status = WinApi32::StringFromPointer(text, kStatusTextChars);
    m->StatusString->setText(status);
    if (statusNumber >= 400 && statusNumber < 500) g_lastError = status;
    if (statusNumber == IDS_CAP_BEGIN) g_begun = true;

    if (statusNumber == IDS_CAP_END && (m->MoviePanel->Visible() || m->MultipleImagePanel->Visible()) &&
        (m->MovieToolbar->Value(QStringLiteral("writeinfo")) == 1 ||
         m->MultipleImageToolbar->Value(QStringLiteral("writeinfo")) == 1)) {
        QString reason;
        if (!AviFile::WriteAviInfoChunk(MSVIDEO::MovieFileName, MSVIDEO::OtherInfo, &reason)) {
            // The movie itself is fine; only its information is missing. Said after
            // the capture's own end text, never instead of it.
            const QString said = status + QStringLiteral(" The information could not be written to \"") +
                                 MSVIDEO::MovieFileName + QStringLiteral("\": ") + reason + QLatin1Char('.');
            m->StatusString->setText(said);
            WriteLog(QStringLiteral("Information not written to ") + MSVIDEO::MovieFileName +
                     QStringLiteral(": ") + reason);
        }
    }
    if (!capturing && CaptureIdle) CaptureIdle();
    return 0;
}

} // namespace cMSVIDEO
