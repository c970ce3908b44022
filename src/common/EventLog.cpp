#include "EventLog.h"

#include "Clock.h"
#include "Vars.h"

#include <QFile>

namespace {

bool writeText(QIODevice::OpenMode mode, const QString& text, QString* error) {
    QFile file(LogPath());
    if (!file.open(mode)) {
        if (error) *error = file.errorString();
        return false;
    }
    const QByteArray bytes = text.toLocal8Bit();
    const bool ok = file.write(bytes) == bytes.size();
    if (!ok && error) *error = file.errorString();
    return ok;
}

} // namespace

QString LogPath() {
    return Vars::startupPath(QStringLiteral("kelvanor.log"));
}

bool CreateLog(QString* error) {
    // Time and date are read separately, time first.
    const QString time = Clock::now().toString(QStringLiteral("HH:mm:ss"));
    const QString date = Clock::now().toString(QStringLiteral("MM-dd-yyyy"));
    const QString text =
        QStringLiteral("Video Kelvanor 2000 Error LOG\r\n"
                       "\r\n"
                       "Video Kelvanor 2000 - video capture for Linux. Free software, no warranty.\r\n"
                       "\r\n") +
        QStringLiteral("Startup at:") + time + QStringLiteral("  -  ") + date + QStringLiteral("\r\n\r\n");
    return writeText(QIODevice::WriteOnly | QIODevice::Truncate, text, error);
}

bool WriteLog(const QString& message) {
    const QString time = Clock::now().toString(QStringLiteral("HH:mm:ss"));
    return writeText(QIODevice::WriteOnly | QIODevice::Append,
                     time + QStringLiteral(" > ") + message + QStringLiteral("\r\n"), nullptr);
}
