#include "Vars.h"

namespace Vars {

void reset() {
    StampTimeColor = StampDateColor = StampTextColor = 0;
    StampText.clear();
    ImageCounter = ShotInterval = ShotElapsed = 0;
    ScheduledStartHours = 0;
    ScheduledStartMinutes = 0;
    ScheduledStartSeconds = 10;
}

QColor toQColor(quint32 bgr) {
    return QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff);
}

quint32 fromQColor(const QColor& c) {
    return quint32(c.red()) | quint32(c.green()) << 8 | quint32(c.blue()) << 16;
}

QString startupPath(const QString& name) {
    if (StartupDirectory.endsWith(QLatin1Char('/'))) return StartupDirectory + name;
    return StartupDirectory + QLatin1Char('/') + name;
}

} // namespace Vars
