#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <optional>

class QSocketNotifier;

// The requests to end the program that come from outside: SIGTERM (a logout, a
// service manager, kill), SIGINT (Ctrl+C in the terminal) and SIGHUP (the terminal
// closes). The signal handler only notes the time of the delivery and writes the
// signal number into a pipe; the UI thread reads it through a socket notifier and
// emits requested(), so whatever the program does about it runs as an ordinary event,
// between two others.
//
// The first signal asks for an orderly end. Tools often deliver one request as two
// signals within microseconds (`timeout` signals the program and then its process
// group, a shell kills a job's whole group, a service manager signals the main process
// and then the group, a logout sends SIGTERM and then SIGHUP), so any of the three
// that arrives within the grace period of the first is folded into it: folded() says
// so and nothing else changes. One that arrives after the grace period is a person
// insisting because the end takes long: the handler writes "End forced from outside
// (signal N)" to the event log itself and the process ends at once by the signal's
// default action, even when the UI thread is stuck.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // How one delivery counts.
    enum class Delivery { First, Folded, Forced };

    // Two seconds. The repeats tools make come within microseconds of the first
    // (two kill() calls back to back), or within the milliseconds a busy machine takes
    // to wake another of the program's threads for the second one; two seconds is an
    // order of magnitude above the worst of those. A person presses Ctrl+C again only
    // after seeing that the program has not ended, which takes about as long; a
    // nervous double press comes well within it and counts as one, as it should. The
    // price is at most two seconds more before a forced end is taken.
    static constexpr std::chrono::milliseconds kGracePeriod{2000};

    // The decision for a delivery at `nowNs`, given the first delivery's time (none
    // yet: this is the first), on a monotonic clock in nanoseconds. A repeat within
    // `graceNs` of the first is folded, one at or after it forces the end. A repeat
    // that reads an earlier time than the first (two handlers on two threads at once)
    // is folded.
    static constexpr Delivery classify(std::optional<std::int64_t> firstNs, std::int64_t nowNs,
                                       std::int64_t graceNs) {
        if (!firstNs) return Delivery::First;
        return nowNs - *firstNs < graceNs ? Delivery::Folded : Delivery::Forced;
    }

    // Installs the handlers. One instance per process; the UI thread's.
    explicit TerminationSignals(QObject* parent = nullptr);
    // Before any signal came, restores the default actions. After one, the handlers
    // stay until the process is gone: a repeat that arrives while the program winds
    // down is still folded (not taken as an end by the default action, which would
    // turn a complete orderly end into an exit by the signal), and one after the grace
    // period still ends at once.
    ~TerminationSignals() override;

    // Whether the handlers are in place (false when the pipe could not be made).
    bool installed() const { return m_installed; }

    // The event log a forced end writes its line to ("hh:mm:ss > End forced from
    // outside (signal N)", CR LF, local time), opened now for appending, since the
    // handler may only write to an open file.
    void setForcedEndLog(const QString& path);

    // Test seams. The grace period for the decision (kGracePeriod until set), and the
    // monotonic clock the handler reads, in nanoseconds (CLOCK_MONOTONIC when null).
    // The clock runs inside the signal handler: it must be async-signal-safe.
    static void setGracePeriod(std::chrono::nanoseconds grace);
    using MonotonicClock = std::int64_t (*)() noexcept;
    static void setClock(MonotonicClock clock);

signals:
    // An orderly end was asked for by `signalNumber`.
    void requested(int signalNumber);
    // `signalNumber` came within the grace period of the first and was folded into it.
    void folded(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
};
