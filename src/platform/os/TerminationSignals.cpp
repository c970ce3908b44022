#include "TerminationSignals.h"

#include "FileDescriptor.h"

#include <QDateTime>
#include <QFile>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Marks a folded signal's byte in the pipe; signal numbers stay below it.
constexpr unsigned char kFoldedBit = 0x80;
constexpr std::int64_t kNoDelivery = std::numeric_limits<std::int64_t>::min();

// Everything the handler touches: lock-free atomics and file descriptors, which are
// safe to use inside a signal handler, on whichever thread it runs.
std::atomic<std::int64_t> g_firstDelivery{kNoDelivery};
std::atomic<std::int64_t> g_graceNs{std::chrono::nanoseconds(TerminationSignals::kGracePeriod).count()};
std::atomic<TerminationSignals::MonotonicClock> g_clock{nullptr};
std::atomic<int> g_pipeWrite{-1};
std::atomic<int> g_logFd{-1};
std::atomic<long> g_utcOffsetSeconds{0};
static_assert(std::atomic<std::int64_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free &&
              std::atomic<long>::is_always_lock_free &&
              std::atomic<TerminationSignals::MonotonicClock>::is_always_lock_free);

// The UI thread's end of the pipe (the write end is an atomic above: the handler
// loads it).
FileDescriptor g_pipeRead;

std::int64_t monotonicNow() noexcept {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts); // async-signal-safe
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void rememberUtcOffset() {
    g_utcOffsetSeconds.store(QDateTime::currentDateTime().offsetFromUtc());
}

// Appends the decimal digits of `value` (>= 0) at `out`, at least `width` of them.
char* putNumber(char* out, long value, int width) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value > 0 && n < int(sizeof digits));
    while (n < width)
        digits[n++] = '0';
    while (n > 0)
        *out++ = digits[--n];
    return out;
}

// The forced end's log line, as the event log writes its entries. Only
// async-signal-safe calls: the time is the real-time clock shifted by the offset from
// UTC noted on the UI thread (localtime is not safe here).
void logForcedEnd(int signalNumber) {
    const int fd = g_logFd.load();
    if (fd < 0) return;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    long daySeconds = long((ts.tv_sec + g_utcOffsetSeconds.load()) % 86400);
    if (daySeconds < 0) daySeconds += 86400;
    char line[96];
    char* out = line;
    out = putNumber(out, daySeconds / 3600, 2);
    *out++ = ':';
    out = putNumber(out, daySeconds / 60 % 60, 2);
    *out++ = ':';
    out = putNumber(out, daySeconds % 60, 2);
    static constexpr char kText[] = " > End forced from outside (signal ";
    for (const char* c = kText; *c; ++c)
        *out++ = *c;
    out = putNumber(out, signalNumber, 1);
    *out++ = ')';
    *out++ = '\r';
    *out++ = '\n';
    [[maybe_unused]] const ssize_t n = ::write(fd, line, std::size_t(out - line));
}

extern "C" void onTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    const TerminationSignals::MonotonicClock clock = g_clock.load();
    const std::int64_t now = clock ? clock() : monotonicNow();
    // The first to store its time is the first delivery, also when two handlers run
    // at once on two threads.
    std::int64_t first = kNoDelivery;
    const TerminationSignals::Delivery delivery =
        g_firstDelivery.compare_exchange_strong(first, now)
            ? TerminationSignals::Delivery::First
            : TerminationSignals::classify(first, now, g_graceNs.load());
    if (delivery == TerminationSignals::Delivery::Forced) {
        logForcedEnd(signalNumber);
        // The signal is blocked while its handler runs: raised again with the default
        // action, it ends the process as soon as the handler returns.
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        sigaction(signalNumber, &action, nullptr);
        raise(signalNumber);
    } else {
        unsigned char byte = static_cast<unsigned char>(signalNumber);
        if (delivery == TerminationSignals::Delivery::Folded) byte |= kFoldedBit;
        if (const int fd = g_pipeWrite.load(); fd >= 0) {
            [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
        }
    }
    errno = savedErrno;
}

void closeFd(std::atomic<int>& fd) {
    const int old = fd.exchange(-1);
    if (old >= 0) ::close(old);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    // What an earlier instance left after a signal (tests make several in a row).
    closeFd(g_pipeWrite);
    closeFd(g_logFd);
    g_pipeRead.reset();

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the default actions stay: the program still ends, only less tidily
    g_pipeRead.reset(fds[0]);
    g_pipeWrite.store(fds[1]);
    g_firstDelivery.store(kNoDelivery);
    rememberUtcOffset();
    m_notifier = new QSocketNotifier(g_pipeRead.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    // One of these handlers at a time on a thread; other threads may still run one at
    // the same time, which the first delivery's compare-and-swap settles.
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
    delete m_notifier;
    if (g_firstDelivery.load() != kNoDelivery) return; // see the header: the handlers stay
    for (int s : kSignals)
        std::signal(s, SIG_DFL);
    closeFd(g_pipeWrite);
    closeFd(g_logFd);
    g_pipeRead.reset();
}

void TerminationSignals::setForcedEndLog(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    const int old = g_logFd.exchange(fd);
    if (old >= 0) ::close(old);
    rememberUtcOffset();
}

void TerminationSignals::setGracePeriod(std::chrono::nanoseconds grace) {
    g_graceNs.store(grace.count());
}

void TerminationSignals::setClock(MonotonicClock clock) {
    g_clock.store(clock);
}

void TerminationSignals::readPipe() {
    unsigned char bytes[64];
    int firstSignal = 0;
    QList<int> foldedSignals;
    ssize_t n = 0;
    while ((n = ::read(g_pipeRead.get(), bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (bytes[i] & kFoldedBit)
                foldedSignals.append(bytes[i] & ~kFoldedBit);
            else
                firstSignal = bytes[i];
        }
    }
    // The offset from UTC for a forced end's line, noted again now that an end has
    // begun (summer time may have begun or ended since the start).
    rememberUtcOffset();
    // Two handlers at once may have written the folded byte before the first's.
    if (firstSignal != 0) emit requested(firstSignal);
    for (int s : foldedSignals)
        emit folded(s);
}
