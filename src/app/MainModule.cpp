#include "MainModule.h"

#include "DataFolders.h"
#include "EventLog.h"
#include "InstanceLock.h"
#include "Master.h"
#include "MasterEvents.h"
#include "MsgBox.h"
#include "Registry.h"
#include "SystemDirectory.h"
#include "TerminationSignals.h"
#include "Vars.h"
#include "wSplash.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QPointer>
#include <cstdio>

void SetUpApplication() {
    SetUpApplicationName();
    // Ties the windows to the desktop entry video-kelvanor.desktop (its icon and name in
    // the task switcher; the Wayland app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("video-kelvanor"));
    // The program's icon, as the desktop entry shows it.
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1/video-kelvanor.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}

void SetUpApplicationName() {
    QCoreApplication::setApplicationName(QStringLiteral("video-kelvanor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV_VERSION_TEXT));
    // No display name: the desktop would add it to every window's title, and each
    // window's caption is its own.
}

bool OpenProgramFolder(const QString& folder, std::unique_ptr<InstanceLock>& lock, QString* refusal) {
    // The program's own folder, whatever folder it was started in; the working directory
    // stays, so file names the user types mean what they say.
    Vars::StartupDirectory = DataFolders::chooseStartupFolder(folder);
    QDir().mkpath(Vars::StartupDirectory); // a failure is the log's to report

    // Held until the program ends.
    lock = std::make_unique<InstanceLock>(Vars::StartupDirectory);
    if (QDir(Vars::StartupDirectory).exists() && !lock->acquire()) {
        *refusal = lock->refusal();
        return false;
    }
    // The system folder and the registry belong to the same folder.
    SystemDirectory::setPath(QDir(Vars::StartupDirectory).filePath(QStringLiteral("system")));
    Registry::setStorePath(QDir(Vars::StartupDirectory).filePath(QStringLiteral("registry.ini")));

    QString reason;
    if (!CreateLog(&reason)) {
        *refusal = QStringLiteral("Cannot create the event log in the folder %1: %2")
                       .arg(QDir::toNativeSeparators(Vars::StartupDirectory), reason);
        return false;
    }
    return true;
}

int StartUp(const QString& folder) {
    std::unique_ptr<InstanceLock> lock;
    QString refusal;
    if (!OpenProgramFolder(folder, lock, &refusal)) {
        std::fprintf(stderr, "%s\n", qPrintable(refusal));
        MsgBox(refusal, MsgBoxStyle::vbCritical);
        return 1;
    }

    MasterEvents::setInitialValues();

    // Ctrl+C, a logout or a service manager: an orderly end, whatever runs then. A
    // repeat within the grace period (tools deliver one request as two signals) is
    // noted and folded into it; a later one ends the program at once.
    TerminationSignals termination;
    termination.setForcedEndLog(LogPath());
    QPointer<MasterEvents> events;
    bool endedEarly = false;
    QObject::connect(&termination, &TerminationSignals::requested, &termination, [&](int signalNumber) {
        if (events) {
            events->EndFromOutside(signalNumber); // leaves the loop once the capture has ended
        } else {
            endedEarly = true; // the splash is up: there is nothing to save yet
            QCoreApplication::exit(0);
        }
    });
    QObject::connect(&termination, &TerminationSignals::folded, &termination, [](int signalNumber) {
        WriteLog(QStringLiteral("Signal folded into the end under way (signal ") +
                 QString::number(signalNumber) + QLatin1Char(')'));
    });

    {
        wSplash splash;
        splash.showUntilClosed();
    }
    if (endedEarly) return 0;

    WriteLog(QStringLiteral("LMW"));

    QPointer<Master> master = new Master;
    master->setAttribute(Qt::WA_DeleteOnClose);
    events = new MasterEvents(*master);
    events->Form_Load();
    master->show();
    const int code = QApplication::exec();
    // However the loop ended (the close request, a signal, the session's end), the
    // capture windows and their camera threads go now, while everything they use
    // still exists.
    delete master.data();
    return code;
}
