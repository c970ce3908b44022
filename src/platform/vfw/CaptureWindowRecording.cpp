#include "CaptureWindow.h"

// Streaming capture and single-frame capture: not available in this build of the
// capture window; every recording message answers 0.
LRESULT CaptureWindow::recordingMessage(UINT, WPARAM, LPARAM) {
    return FALSE;
}
