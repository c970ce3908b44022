#pragma once

#include <QColor>
#include <QString>
#include <QtGlobal>

// Program-wide values shared by the subsystems (the capture state lives in MSVIDEO).
// Everything runs on the UI thread, so nothing here is locked.
namespace Vars {

// The working directory at start, fixed once by StartUp. Folder of the event log,
// the last-run file and the codec file.
inline QString StartupDirectory;

// Stamp colours in the classic 0x00BBGGRR form (as the parameters file stores them);
// black until set. Shared by image and multiple-image modes.
inline quint32 StampTimeColor = 0;
inline quint32 StampDateColor = 0;
inline quint32 StampTextColor = 0;
// The text that StampFrame prints.
inline QString StampText;

// Counters of a multiple-image run.
inline qint32 ImageCounter = 0;
inline qint32 ShotInterval = 0;
inline qint32 ShotElapsed = 0;

// Scheduled-start delay (16-bit, as stored in the parameters file).
inline qint16 ScheduledStartHours = 0;
inline qint16 ScheduledStartMinutes = 0;
inline qint16 ScheduledStartSeconds = 10;

// Back to the values at program start (tests).
void reset();

// 0x00BBGGRR <-> QColor.
QColor toQColor(quint32 bgr);
quint32 fromQColor(const QColor& color);

// The start-up directory joined with `name` by one "/" (none added when the
// directory already ends in one, as "/" itself does).
QString startupPath(const QString& name);

} // namespace Vars
