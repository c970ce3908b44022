#pragma once

#include <QString>

// The event log "kelvanor.log" in the start-up directory: 8-bit text, CR LF lines.
// The file is opened and closed for every entry, so an entry is on disk as soon as
// WriteLog returns.

// Creates (or empties) the log and writes its six header lines. False, with the
// system's reason in `error`, when the file cannot be written.
bool CreateLog(QString* error = nullptr);

// Appends "hh:mm:ss > message" and CR LF. False when the file cannot be written;
// callers that run with errors ignored simply lose the entry.
bool WriteLog(const QString& message);

// The log's full path.
QString LogPath();
