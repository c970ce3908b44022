#include "Logging.h"

Q_LOGGING_CATEGORY(lcV4l2, "kelvanor.v4l2", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTestPattern, "kelvanor.testpattern", QtWarningMsg)
Q_LOGGING_CATEGORY(lcRecorder, "kelvanor.recorder", QtWarningMsg)
Q_LOGGING_CATEGORY(lcAudio, "kelvanor.audio", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCaptureWindow, "kelvanor.capturewindow", QtWarningMsg)
