#pragma once

#include "OtherInfo.h"
#include "vfw.h"

#include <QSize>
#include <QString>
#include <QtGlobal>

class QWidget;

// The program's one channel to the capture driver: the shared capture state and one
// small operation per capture-window message. Everything runs on the UI thread.
namespace MSVIDEO {

// --- Shared capture state ---
// The capture window of the video display window; 0 before the first connection.
inline HWND CaptureWindow = 0;
// The boolean answer of the last capture operation that stored it.
inline qint16 CaptureResult = 0;
// The driver to connect (0-based).
inline qint32 DeviceIndex = 0;
// Preview rate in frames per second.
inline qint16 PreviewRate = 10;
inline CAPSTATUS CapStatus{};
inline CAPDRIVERCAPS CapDriverCaps{};
inline CAPTUREPARMS CaptureParms{};
inline WAVEFORMATEX AudioFormat{};
// Frames per second of the movie being recorded (set by the capture action).
inline qint16 MovieFrameRate = 0;
inline QString MovieFileName;

// Back to the values at program start (tests).
void reset();

// --- Driver enumeration ---
// The driver's name / version, or "Error!" when there is no driver at `index`.
QString GetDriverName(int index);
QString GetDriverVersion(int index);
// Drivers at 0, 1, 2... up to the first index without one.
int CountDrivers();
bool HasDrivers();

// --- Capture window ---
HWND CreateCaptureWindow(QWidget* parent);
// Disconnects and destroys; true when the window was destroyed.
bool DestroyCaptureWindow(HWND window);
// Sizes the window to the video (all zeros), moves it (no size), or places and sizes it.
bool FitCaptureWindow(HWND window, int top, int left, int height, int width);

// --- Messages ---
bool SetStatusCallback(HWND window, CAPSTATUSCALLBACK callback);
bool ConnectDriver(HWND window, int index);
bool GetDriverCaps(HWND window, CAPDRIVERCAPS& caps);
bool SetCaptureFileName(HWND window, const QString& path);
// The capture file name; empty when the window does not answer.
QString GetCaptureFileName(HWND window);
bool CopyFrameToClipboard(HWND window);
// `size` is what the caller offers (the program passes 22); the record takes at most its own size.
bool GetAudioFormat(HWND window, WAVEFORMATEX& format, int size);
void ShowVideoFormatDialog(HWND window);
void ShowVideoSourceDialog(HWND window);
void ShowVideoDisplayDialog(HWND window);
void ShowVideoCompressionDialog(HWND window);
bool StartPreview(HWND window, int framesPerSecond);
bool StartOverlay(HWND window);
bool SetPreviewScale(HWND window, bool on);
bool GetCaptureStatus(HWND window, CAPSTATUS& status);
bool CaptureSequence(HWND window);
bool SetCaptureSetup(HWND window, const CAPTUREPARMS& parms);
bool GetCaptureSetup(HWND window, CAPTUREPARMS& parms);
bool StopCapture(HWND window);
bool OpenSingleFrameCapture(HWND window);
bool CloseSingleFrameCapture(HWND window);
bool CaptureSingleFrame(HWND window);

// --- Set up without the dialogs (a capture from the command line) ---
// The picture size (see CaptureWindow::setFrameSize); false with the reason.
bool SetFrameSize(HWND window, QSize size, QString* reason);
// The video encoder the compression dialog would set, by FFmpeg's name, at the
// dialog's quality; false with the reason (the encoders there are) when AVI cannot
// carry it or it is not installed.
bool SetCompressor(HWND window, const QString& encoder, QString* reason);
// Why the window has no working camera; empty when it has one.
QString DeviceProblem(HWND window);

// --- Conversions ---
// 1,000,000 / value rounded half to even; 0 (and below) gives 0. Turns frames per
// second into microseconds per frame and back.
qint32 FrameRateToMicroSec(qint64 value);
// A count of seconds split into whole hours, the minutes (0..59) and seconds (0..59) left.
qint32 HoursPart(qint64 seconds);
qint32 MinutesPart(qint64 seconds);
qint32 SecondsPart(qint64 seconds);
// hours * 3600 + minutes * 60 + seconds, a negative hour or minute count counting as 0.
qint64 TimeToSeconds(qint64 hours, qint64 minutes, qint64 seconds);
// The preview period in milliseconds for a rate: 1000 / rate rounded half to even; 0 below 1.
int PreviewPeriodMs(int framesPerSecond);

} // namespace MSVIDEO
