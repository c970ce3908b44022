#include "Commands.h"

#include "PanelEvents.h"
#include "WinApi32.h"
#include "cMaster.h"

// The Audio Settings menu and its Sample Rate submenu.
namespace Commands {

namespace {

// Selects entry `index` of `list`. Choosing the entry already selected changes no
// list, so the check marks are set here too: a menu click on a checked item must not
// leave its group without a mark.
void selectEntry(Master& m, QComboBox* list, int index, void (*checkMarks)(Master&)) {
    if (list->currentIndex() == index)
        checkMarks(m);
    else
        list->setCurrentIndex(index); // its change handling sets the check marks
}

} // namespace

void AudioMenu_Click(Master& m, int index) {
    switch (index) {
    case 0: // Audio Off
        m.ShowAudioPanel(false);
        break;
    case 1: // Audio On
        m.ShowAudioPanel(true);
        break;
    case 3: // Mono
        selectEntry(m, m.AudioChannels, 1, PanelEvents::AudioChannels_Click);
        break;
    case 4: // Stereo
        selectEntry(m, m.AudioChannels, 0, PanelEvents::AudioChannels_Click);
        break;
    case 6: // 8 bits
        selectEntry(m, m.AudioBits, 0, PanelEvents::AudioBits_Click);
        break;
    case 7: // 16 bits
        selectEntry(m, m.AudioBits, 1, PanelEvents::AudioBits_Click);
        break;
    case 11: // Recording Settings: the volume program on its recording controls
        WinApi32::StartRecordingSettings();
        break;
    case 13: // Sound Volume
        WinApi32::StartVolumeProgram();
        break;
    default:
        break;
    }
}

void SampleRateMenu_Click(Master& m, int index) {
    if (index < 0 || index > 3) return;
    for (int i = 0; i < 4; ++i)
        m.menuItem(QStringLiteral("SampleRateMenu"), i)->setChecked(false);
    selectEntry(m, m.AudioRate, index, PanelEvents::AudioRate_Click);
}

} // namespace Commands
