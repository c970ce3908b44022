#include "MainModule.h"

#include "EventLog.h"
#include "Master.h"
#include "MasterEvents.h"
#include "MsgBox.h"
#include "Vars.h"
#include "wSplash.h"

#include <QApplication>
#include <QDir>

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

    {
        wSplash splash;
        splash.exec();
    }

    WriteLog(QStringLiteral("LMW"));

    auto* master = new Master;
    master->setAttribute(Qt::WA_DeleteOnClose);
    auto* events = new MasterEvents(*master);
    events->Form_Load();
    master->show();
    return QApplication::exec();
}
