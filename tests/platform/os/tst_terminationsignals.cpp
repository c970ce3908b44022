#include "TerminationSignals.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTime>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using Delivery = TerminationSignals::Delivery;

namespace {

constexpr qint64 kMs = 1000000;
constexpr qint64 kGrace = std::chrono::nanoseconds(TerminationSignals::kGracePeriod).count();

// The clock the handler reads, set by the test: an atomic, as the handler may read it.
std::atomic<std::int64_t> g_fakeNow{0};
std::int64_t fakeClock() noexcept {
    return g_fakeNow.load();
}

} // namespace

Q_DECLARE_METATYPE(Delivery)

// The handlers of the termination signals, raised in this process: which delivery is
// an end, which is folded into it, which forces the end.
class TestTerminationSignals : public QObject {
    Q_OBJECT

private slots:
    void init() {
        TerminationSignals::setClock(fakeClock);
        TerminationSignals::setGracePeriod(TerminationSignals::kGracePeriod);
        g_fakeNow = 1000000 * kMs; // a monotonic clock of a machine up for a while
    }
    void cleanup() { TerminationSignals::setClock(nullptr); }

    void classify_data() {
        QTest::addColumn<bool>("hasFirst");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<qint64>("grace");
        QTest::addColumn<Delivery>("expected");
        const qint64 t = 5000000 * kMs;
        QTest::newRow("none before") << false << qint64(0) << t << kGrace << Delivery::First;
        QTest::newRow("none before, clock at zero")
            << false << qint64(0) << qint64(0) << kGrace << Delivery::First;
        QTest::newRow("same nanosecond") << true << t << t << kGrace << Delivery::Folded;
        QTest::newRow("1 us later (timeout's two kills)")
            << true << t << t + 1000 << kGrace << Delivery::Folded;
        QTest::newRow("100 ms later (SIGTERM, then SIGHUP)")
            << true << t << t + 100 * kMs << kGrace << Delivery::Folded;
        QTest::newRow("1 ns before the period ends")
            << true << t << t + kGrace - 1 << kGrace << Delivery::Folded;
        QTest::newRow("as the period ends") << true << t << t + kGrace << kGrace << Delivery::Forced;
        QTest::newRow("a person's second Ctrl+C after 3 s")
            << true << t << t + 3000 * kMs << kGrace << Delivery::Forced;
        QTest::newRow("an hour later") << true << t << t + 3600000 * kMs << kGrace << Delivery::Forced;
        // Two handlers on two threads: the second may read its time before the first stores.
        QTest::newRow("earlier than the first") << true << t << t - 5 << kGrace << Delivery::Folded;
        QTest::newRow("no grace period: any later repeat forces")
            << true << t << t + 1 << qint64(0) << Delivery::Forced;
    }
    void classify() {
        QFETCH(bool, hasFirst);
        QFETCH(qint64, first);
        QFETCH(qint64, now);
        QFETCH(qint64, grace);
        QFETCH(Delivery, expected);
        const std::optional<std::int64_t> f = hasFirst ? std::optional<std::int64_t>(first) : std::nullopt;
        QCOMPARE(TerminationSignals::classify(f, now, grace), expected);
    }

    void repeatsWithinThePeriodAreFolded() {
        TerminationSignals termination;
        QVERIFY(termination.installed());
        QSignalSpy requested(&termination, &TerminationSignals::requested);
        QSignalSpy folded(&termination, &TerminationSignals::folded);
        const std::int64_t first = g_fakeNow;
        // raise() runs the handler on this thread before it returns.
        std::raise(SIGTERM);
        g_fakeNow = first + 1 * kMs / 2;
        std::raise(SIGTERM);
        g_fakeNow = first + 100 * kMs;
        std::raise(SIGHUP);
        g_fakeNow = first + kGrace - 1;
        std::raise(SIGINT);
        // One read of the pipe: the request, then what was folded into it.
        QVERIFY(requested.wait(60000));
        QCOMPARE(requested.size(), 1);
        QCOMPARE(folded.size(), 3);
        QCOMPARE(requested.at(0).at(0).toInt(), SIGTERM);
        QCOMPARE(folded.at(0).at(0).toInt(), SIGTERM);
        QCOMPARE(folded.at(1).at(0).toInt(), SIGHUP);
        QCOMPARE(folded.at(2).at(0).toInt(), SIGINT);
    }

    void aNewInstanceStartsAfresh() {
        // Each instance's first signal is a first: no time is left over from before.
        for (int i = 0; i < 2; ++i) {
            TerminationSignals termination;
            QSignalSpy requested(&termination, &TerminationSignals::requested);
            QSignalSpy folded(&termination, &TerminationSignals::folded);
            g_fakeNow = g_fakeNow + 3600000 * kMs;
            std::raise(SIGINT);
            QVERIFY(requested.wait(60000));
            QCOMPARE(requested.at(0).at(0).toInt(), SIGINT);
            QCOMPARE(folded.size(), 0);
        }
    }

    // A repeat raised in a child process, which carries this process's handlers and
    // first delivery: after the grace period it ends the child by the signal and
    // writes the log's line; within it the child goes on (and exits by itself).
    void aRepeatAfterThePeriodForcesTheEnd_data() {
        QTest::addColumn<int>("repeat");
        QTest::addColumn<qint64>("after");
        QTest::addColumn<bool>("forced");
        QTest::newRow("SIGINT as the period ends") << int(SIGINT) << kGrace << true;
        QTest::newRow("SIGTERM 10 s later") << int(SIGTERM) << 10000 * kMs << true;
        QTest::newRow("SIGHUP 1 ns before the period ends") << int(SIGHUP) << kGrace - 1 << false;
    }
    void aRepeatAfterThePeriodForcesTheEnd() {
        QFETCH(int, repeat);
        QFETCH(qint64, after);
        QFETCH(bool, forced);
        QTemporaryDir dir;
        const QString logPath = dir.filePath(QStringLiteral("kelvanor.log"));
        {
            QFile log(logPath);
            QVERIFY(log.open(QIODevice::WriteOnly));
            log.write("00:00:00 > Init OK.\r\n");
        }
        TerminationSignals termination;
        termination.setForcedEndLog(logPath);
        QSignalSpy requested(&termination, &TerminationSignals::requested);
        const std::int64_t first = g_fakeNow;
        std::raise(SIGTERM);
        QVERIFY(requested.wait(60000));

        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // Only async-signal-safe calls in the child of a threaded process.
            g_fakeNow = first + after;
            ::raise(repeat);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        const QTime now = QTime::currentTime();
        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(log.readAll());
        if (!forced) {
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), 0);
            QCOMPARE(text, QStringLiteral("00:00:00 > Init OK.\r\n"));
            return;
        }
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), repeat);
        // One line after the others, as the event log writes them, at the local time.
        const QRegularExpression line(
            QStringLiteral("^00:00:00 > Init OK\\.\\r\\n(\\d\\d:\\d\\d:\\d\\d) > End "
                           "forced from outside \\(signal %1\\)\\r\\n$")
                .arg(repeat));
        const QRegularExpressionMatch match = line.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        const QTime written = QTime::fromString(match.captured(1), QStringLiteral("HH:mm:ss"));
        QVERIFY(written.isValid());
        const int apart = std::abs(written.secsTo(now));
        QVERIFY2(std::min(apart, 86400 - apart) <= 60,
                 qPrintable(match.captured(1) + " vs " + now.toString()));
    }
};

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "tst_terminationsignals.moc"
