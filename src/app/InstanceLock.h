#pragma once

#include <QLockFile>
#include <QString>

// One running program per folder. The event log is emptied at every start and the last
// run's settings are written at every close request, both in the start-up folder; two
// programs there would empty each other's log and overwrite each other's settings, and
// they would also reach for the same camera, which streams to one program at a time. So
// a second start in a folder that a running program holds is refused with a message that
// names it; a second program of its own runs with --folder and another folder.
//
// The lock is the file "kelvanor.lock" in the folder, holding the owner's process id. A
// lock left by a program that no longer runs (a crash, a power cut) is taken over.
class InstanceLock {
public:
    explicit InstanceLock(const QString& folder);

    // True when this program now holds the folder.
    bool acquire();

    // Why acquire() failed, as the message to show: the running program's process id and
    // folder, or the file error.
    QString refusal() const { return m_refusal; }

    static QString fileName() { return QStringLiteral("kelvanor.lock"); }

private:
    QString m_folder;
    QLockFile m_lock;
    QString m_refusal;
};
