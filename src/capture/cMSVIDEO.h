#pragma once

#include "vfw.h"

#include <QString>
#include <functional>

class Master;

// The capture device connection: lists the drivers at start, connects one, keeps the
// main window's video, audio and movie controls in step with what the driver
// reports; and movie recording with the driver's status callback.
namespace cMSVIDEO {

// Fills the preview-rate and device lists, logs the drivers and connects the camera
// used last (driver 0 when it is not there), or driver `index` when it is given.
void StartVideoDevice(Master& m, int index = -1);
// Rebuilds the video display window on driver `index` (even the one connected).
void SelectVideoDevice(Master& m, int index);
// Preview at `framesPerSecond`; the toolbar then shows what the driver reports.
void SetPreviewMode(Master& m, int framesPerSecond);
// Overlay; the toolbar then shows what the driver reports.
void SetOverlayMode(Master& m);
// The driver's compression dialog.
void ShowCompressionOptions();

// Starts a streaming capture into MSVIDEO::MovieFileName with the movie and audio
// panels' settings. A capture that fails to start brings the record toolbar back and
// says why in the status line.
void RecordMovie(Master& m);
// The driver's status callback: status line, elapsed movie time, the record toolbar
// back at the end, and the information chunk at the end of capture when asked for.
LRESULT CaptureStatusCallback(HWND window, int statusNumber, const char* text);
// Called by the status callback, after everything else it does, whenever it finds
// that no capture is running (at the end of every capture, and on statuses outside
// one). Set by the application while it waits for a capture to end.
inline std::function<void()> CaptureIdle;
// The text of the last error status of the capture under way or last ended (empty
// when it said none).
QString LastErrorText();
// "hh:mm:ss.ff" for a count of frames at `framesPerSecond` (0: whole frames only).
QString ElapsedText(quint32 frames, int framesPerSecond);

// The preview-rate list's text for a rate: " 12 FPS".
QString FpsText(int framesPerSecond);

} // namespace cMSVIDEO
