#include "InstanceLock.h"

#include <QDir>

InstanceLock::InstanceLock(const QString& folder)
    : m_folder(folder), m_lock(QDir(folder).filePath(fileName())) {
    // Only a dead owner makes the lock stale, never its age: a program may run for weeks.
    m_lock.setStaleLockTime(0);
}

bool InstanceLock::acquire() {
    if (m_lock.tryLock(0)) return true;
    const QString folder = QDir::toNativeSeparators(m_folder);
    qint64 pid = 0;
    QString host, application;
    if (m_lock.error() == QLockFile::LockFailedError && m_lock.getLockInfo(&pid, &host, &application)) {
        m_refusal = QStringLiteral("Video Kelvanor 2000 is already running with its files in the folder %1 "
                                   "(process %2%3).\n\nUse its window, or end it first. To run a second one, "
                                   "start it with its own folder: kelvanor --folder <another folder>")
                        .arg(folder, QString::number(pid),
                             host.isEmpty() ? QString() : QStringLiteral(" on ") + host);
    } else {
        m_refusal = QStringLiteral("Cannot make the lock file %1 in the folder %2.").arg(fileName(), folder);
    }
    return false;
}
