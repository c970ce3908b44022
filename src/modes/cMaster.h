#pragma once

#include "Master.h"

#include "TextInsertion.h"

#include <QString>
#include <functional>

// The capture-mode controller and the settings behind the movie panel. The current
// mode is not stored anywhere: it is whichever of the four mode panels is visible.
// Every operation works on the main window's form it is given, on the UI thread.
namespace cMaster {

// ---- Modes --------------------------------------------------------------------

// Each selection presses its own mode button and raises the other three, shows its
// panel and hides the other mode panels, stacks the panels below the device panel
// by Top and Height, and then runs its last steps.
// Movie: movie panel, audio panel (placed whether shown or not), capture controls;
// unticks "No Limit"; the output name gets "avi".
void SelectMovieMode(Master& m);
// Image: image panel, capture controls; hides the audio panel; no output file.
void SelectImageMode(Master& m);
// Multiple image: its panel, capture controls; hides the audio panel; the output
// name follows the shoot type.
void SelectMultipleImageMode(Master& m);
// Webcam: its panel only, the capture controls are hidden; hides the audio panel.
void SelectWebcamMode(Master& m);

// Brings the extension of MSVIDEO::MovieFileName in line with the current mode and
// shows the name in the status bar's "filename" panel (empty where no file is written).
void UpdateCaptureFileName(Master& m);

// `name` with its last `cut` characters replaced by `extension`. A name too short to
// cut is replaced by the capture window's default capture file name first, so the
// result is always a whole name: WithExtension("CLIP.avi", 3, "bmp") is "CLIP.bmp".
QString WithExtension(const QString& name, int cut, const QString& extension);

// The capture file name a new capture window proposes (a full path).
QString DefaultCaptureFileName();

// The stamp text follows the text box of the current mode: the multiple-image
// panel's while that mode is current, else the image panel's.
void UpdateStampText(Master& m);

// ---- Movie settings -----------------------------------------------------------
// (The audio panel is the form's own: Master::ShowAudioPanel.)

// The driver's video compression dialog (reports its own failure).
void ShowCompressionDialog(Master& m);

// The save dialog for the movie file, proposing the current name. A cancel keeps
// the name; the chosen path is taken as it is (no extension forced).
void ChooseMovieFileName(Master& m);

// The movie information editor, not modal; one window, raised when already open.
void ShowOtherInformation(Master& m);

// MSVIDEO::MovieFileName = the capture window's capture file (empty without a driver).
void ReadCaptureFileName(Master& m);

// ---- Parameters file ----------------------------------------------------------

// Writes the current mode's settings to `path` (replaced in one step). On failure
// `reason` holds the system's reason and the file is left as it was.
bool SaveCaptureParameters(Master& m, const QString& path, QString* reason = nullptr);
// Reads `path` and sets the window up from it, running each control's own change
// handling. True when the file named a mode and that mode was selected; false when
// it could not be read, was not a parameters file or ended before its mode.
bool LoadCaptureParameters(Master& m, const QString& path);

// The last-run file "klsr.kl2" in the start-up directory.
QString LastRunPath();
// Saves the whole state to the last-run file; a failure is logged. Every way out of
// the program (the close request, a signal) calls this.
bool SaveLastRun(Master& m);
// Restores the last run at start; movie mode where the file is missing or gave no mode.
void RestoreLastRun(Master& m);

// ---- Capturing ----------------------------------------------------------------

// Closes the scheduled-start window; the application connects it at start (the
// window lives above this layer). Every capture action calls it first.
inline std::function<void()> CloseScheduledStart;

// The capture of the current mode: movie (start records, stop ends the recording),
// image (every call takes one stamped shot into the one main image window),
// multiple image (start and stop a run), webcam (nothing).
void CaptureAction(Master& m, bool start);

// One shot of a multiple-image run, by the shoot type: a frame of the single-frame
// movie, a numbered or refreshed BMP or JPEG file, or the clipboard. A shot asked
// for while one is still being taken is skipped.
void CaptureStillImage(Master& m);

// True while CaptureStillImage is taking a shot (it may wait for a frame meanwhile).
bool ShotInProgress();

// The current frame in a new image window "Untitled ", without stamps.
void CaptureFrameToWindow(Master& m);

// The stamps the multiple-image or the image panel asks for.
StampSettings multipleImageStamps(const Master& m);
StampSettings imageStamps(const Master& m);

} // namespace cMaster
