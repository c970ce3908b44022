#pragma once

#include "Master.h"

#include <functional>

class QSpinBox;

// What the movie, audio, image and multiple-image panels' controls do while the user
// edits them: duration and interval rules, displays, the shoot-type switch, the audio
// lists' menu check marks, the panels' toolbars, the stamp colours and text, and the
// interval timer. A value set by program runs the same handling as a user's edit.
namespace PanelEvents {

// Connects the panels' controls and MultipleImageTimer to their handlers.
void connectAll(Master& m);

// ---- Movie panel ----------------------------------------------------------------

// Hours, minutes or seconds changed: the display shows "#00"; a zero duration
// becomes one second.
void MovieDuration_Change(Master& m, QSpinBox* control);
// " N FPS".
void MovieFrameRateControl_Change(Master& m);
// "No Limit": greys the three duration controls and their displays while checked.
void MovieDisableLimit_Click(Master& m);
void MovieToolbar_ButtonClick(Master& m, const QString& key);

// ---- Audio panel ----------------------------------------------------------------

// Each list keeps exactly one check mark of its group in the Audio Settings menu.
void AudioChannels_Click(Master& m);
void AudioBits_Click(Master& m);
void AudioRate_Click(Master& m);

// ---- Image panel ----------------------------------------------------------------

// "timecolor", "datecolor", "textcolor": the colour dialog; both swatches of the
// stamp are repainted. The other buttons are on/off switches read at capture time.
void ImageToolbar_ButtonClick(Master& m, const QString& key);
void ImageText_Change(Master& m);

// ---- Multiple-image panel -------------------------------------------------------

// The shoot type: stamp controls, viewer frame rate, the "filename" picture, the
// movie information buttons, the output name's extension and the "filename" panel.
void MultipleImageMode_Click(Master& m);
// "Automatic" hides "Shoot".
void MultipleImageAutoShoot_Click(Master& m);
// Interval hours, minutes or seconds changed: "#00"; a zero interval becomes one second.
void MultipleImageInterval_Change(Master& m, QSpinBox* control);
void MultipleImageToolbar_ButtonClick(Master& m, const QString& key);
void MultipleImageToolbar2_ButtonClick(Master& m, const QString& key);
void MultipleImageText_Change(Master& m);

// One tick of the interval timer: counts the seconds since the last frame, shows the
// countdown in StatusString and calls `shoot` (the still capture) when the interval
// has elapsed.
void MultipleImageTimer_Timer(Master& m, const std::function<void()>& shoot);

} // namespace PanelEvents
