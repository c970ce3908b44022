#pragma once

#include "EventLog.h"

#include <QFile>
#include <QStringList>

// The messages of the event log's entries, in order (the header lines and the time
// stamps left out).
inline QStringList logEntries() {
    QFile f(LogPath());
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList entries;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.contains(" > "))
            entries << QString::fromLocal8Bit(line.mid(line.indexOf(" > ") + 3)).chopped(1);
    return entries;
}
