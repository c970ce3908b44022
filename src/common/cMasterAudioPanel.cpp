#include "cMasterAudioPanel.h"

#include "Master.h"

namespace cMaster {

void ShowAudioPanel(Master& m, bool show) {
    m.AudioToolbar->setVisible(show);
    m.MovieToolbar->setValue(QStringLiteral("audio"), show ? 1 : 0);
}

} // namespace cMaster
