#include "MainModule.h"

#include "EventLog.h"
#include "Master.h"
#include "MasterEvents.h"
#include "MsgBox.h"
#include "TerminationSignals.h"
#include "ToolIcons.h"
#include "Vars.h"
#include "wSplash.h"

#include <QApplication>
#include <QDir>
#include <QPointer>

void SetUpApplication() {
    QApplication::setApplicationName(QStringLiteral("video-kelvanor"));
    // No display name: the desktop would add it to every window's title, and each
    // window's caption is its own.
    QApplication::setWindowIcon(ToolIcons::icon(QStringLiteral("record")));
}

int StartUp() {
    Vars::StartupDirectory = QDir::currentPath();

    QString reason;
    if (!CreateLog(&reason)) {
        MsgBox(QStringLiteral("Cannot create the event log in the folder %1: %2")
                   .arg(QDir::toNativeSeparators(Vars::StartupDirectory), reason),
               MsgBoxStyle::vbCritical);
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
