#pragma once

class Master;

// The audio settings panel of the main window. It lives with the form rather than
// with the rest of cMaster because the device layer also calls it after connecting
// a driver, and it touches nothing but the form.
namespace cMaster {

// Shows or hides the audio panel and presses or raises the movie toolbar's "audio"
// button to match. Audio is recorded with a movie while the panel is shown.
void ShowAudioPanel(Master& m, bool show);

} // namespace cMaster
