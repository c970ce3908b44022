#pragma once

#include "Master.h"

#include <QObject>
#include <optional>

// What the main window's own events do: its load, the free-space timer and the
// close request. Lives as a child of the form and connects the form's signals to the
// operations of the modules at start.
class MasterEvents : public QObject {
    Q_OBJECT
public:
    explicit MasterEvents(Master& form);

    // The values StartUp sets before any window loads.
    static void setInitialValues();

    // How the form loads. A capture from the command line takes its settings from the
    // command line alone, and may name its device.
    struct LoadOptions {
        bool restoreLastRun = true;
        int deviceIndex = -1; // -1: the camera used last
    };
    // The load: lays out the panels, starts the capture device, restores the last run.
    void Form_Load(const LoadOptions& options);
    void Form_Load() { Form_Load(LoadOptions{}); }

    // MasterTimer: the free space of the output file's file system in "diskcap".
    void MasterTimer_Timer();
    // "Free Space:  N Mb" above 1,048,576 bytes, else (or unknown) "Disk Full (< 1Mb)".
    static QString FreeSpaceText(std::optional<quint64> freeBytes);

    // The close request: saves the last-run file, then asks. True closes the window.
    bool QueryUnload();

    // An end asked for from outside the window (a termination signal): a running
    // capture ends as its stop does (the movie or the single-frame file complete and
    // indexed), the last run is saved, and the event loop is left. A capture that is
    // still finishing its file is waited for through the status callback.
    // The last run is saved then, as at a close request, without the question.
    void EndFromOutside(int signalNumber);
    // True once EndFromOutside has been asked for.
    bool endingFromOutside() const { return m_ending; }

private:
    void finishEndFromOutside();
    bool movieCaptureRunning() const;

    Master& m;
    bool m_ending = false;
    bool m_finished = false;
};
