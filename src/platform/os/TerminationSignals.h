#pragma once

#include <QObject>

class QSocketNotifier;

// The requests to end the program that come from outside: SIGTERM (a logout, a
// service manager, kill), SIGINT (Ctrl+C in the terminal) and SIGHUP (the terminal
// closes). The signal handler only writes the signal number into a pipe; the UI
// thread reads it through a socket notifier and emits requested(), so whatever the
// program does about it runs as an ordinary event, between two others.
//
// The first signal asks for an orderly end. A second one, while that end is still
// running, ends the process at once by the signal's own default action.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers. One instance per process; the UI thread's.
    explicit TerminationSignals(QObject* parent = nullptr);
    // Restores the default actions.
    ~TerminationSignals() override;

    // Whether the handlers are in place (false when the pipe could not be made).
    bool installed() const { return m_installed; }

signals:
    // An orderly end was asked for by `signalNumber`.
    void requested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
};
