#pragma once

#include <QLoggingCategory>

// The developer log of the capture service, one category per component, off by
// default except for warnings. Turn one on when a user reports a problem, e.g.
//   QT_LOGGING_RULES="kelvanor.v4l2.debug=true;kelvanor.recorder.debug=true" kelvanor
// It tells about frames that were dropped or refused and failures the code lets
// pass on purpose. The program's event log (kelvanor.log) is a separate thing.
Q_DECLARE_LOGGING_CATEGORY(lcV4l2)          // kelvanor.v4l2: the V4L2 driver
Q_DECLARE_LOGGING_CATEGORY(lcTestPattern)   // kelvanor.testpattern: the test-pattern driver
Q_DECLARE_LOGGING_CATEGORY(lcRecorder)      // kelvanor.recorder: streaming and single-frame capture
Q_DECLARE_LOGGING_CATEGORY(lcAudio)         // kelvanor.audio: the sound input
Q_DECLARE_LOGGING_CATEGORY(lcCaptureWindow) // kelvanor.capturewindow: capture windows and their messages
