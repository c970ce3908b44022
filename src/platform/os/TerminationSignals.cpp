#include "TerminationSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the handler, read on the UI thread. -1 while no instance is installed.
int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_received = 0;

extern "C" void onTerminationSignal(int signalNumber) {
    if (g_received) {
        // The orderly end is already under way and the user insists.
        std::signal(signalNumber, SIG_DFL);
        std::raise(signalNumber);
        return;
    }
    g_received = 1;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return; // the default actions stay: the program still ends, only less tidily
    }
    g_received = 0;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    // One handler at a time: the second signal must find the first one counted.
    sigemptyset(&action.sa_mask);
    for (int s : kSignals)
        sigaddset(&action.sa_mask, s);
    action.sa_flags = SA_RESTART;
    for (int s : kSignals)
        sigaction(s, &action, nullptr);
    m_installed = true;
}

TerminationSignals::~TerminationSignals() {
    if (!m_installed) return;
    for (int s : kSignals)
        std::signal(s, SIG_DFL);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignals::readPipe() {
    unsigned char byte = 0;
    int last = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        last = byte;
    if (last != 0) emit requested(last);
}
