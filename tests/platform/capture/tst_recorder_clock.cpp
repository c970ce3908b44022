#include "recorder/MovieClock.h"

#include <QtTest>

// Frame placement on the movie's grid and the sound-driven movie clock, with
// made-up times.
class TestRecorderClock : public QObject {
    Q_OBJECT

private slots:
    void slotRounding_data() {
        QTest::addColumn<int64_t>("movieUs");
        QTest::addColumn<int64_t>("slot");
        QTest::newRow("start") << int64_t(0) << int64_t(0);
        QTest::newRow("just before half") << int64_t(33332) << int64_t(0);
        QTest::newRow("half") << int64_t(33334) << int64_t(1);
        QTest::newRow("one period") << int64_t(66667) << int64_t(1);
        QTest::newRow("slightly early") << int64_t(-1000) << int64_t(0);
        QTest::newRow("before the movie") << int64_t(-40000) << int64_t(-1);
    }
    void slotRounding() {
        QFETCH(int64_t, movieUs);
        QFETCH(int64_t, slot);
        FrameGrid<int> grid(66667);
        QCOMPARE(grid.slotOf(movieUs), slot);
    }

    // Long movies: slot times come from the file's exact rate, so after an hour the
    // picture is where the sound is (33,333 us a frame at 30/1 would have put the
    // frame of 3,600 s into slot 108,001, and 1,588 samples short of its sound).
    void exactRatesOverLongMovies_data() {
        QTest::addColumn<int64_t>("num");
        QTest::addColumn<int64_t>("den");
        QTest::addColumn<int64_t>("movieUs");
        QTest::addColumn<int64_t>("slot");
        QTest::addColumn<int64_t>("slotUs");
        QTest::addColumn<int64_t>("samples"); // of the slots before `slot`, at 44,100 Hz
        QTest::newRow("30/1, an hour") << int64_t(30) << int64_t(1) << int64_t(3600000000) << int64_t(108000)
                                       << int64_t(3600000000) << int64_t(158760000);
        QTest::newRow("30/1, a day") << int64_t(30) << int64_t(1) << int64_t(86400000000) << int64_t(2592000)
                                     << int64_t(86400000000) << int64_t(3810240000);
        QTest::newRow("30000/1001, an hour of frames")
            << int64_t(30000) << int64_t(1001) << int64_t(3603600000) << int64_t(108000)
            << int64_t(3603600000) << int64_t(158918760);
        QTest::newRow("25/1, half a period early")
            << int64_t(25) << int64_t(1) << int64_t(3599980001) << int64_t(90000) << int64_t(3600000000)
            << int64_t(158760000);
        QTest::newRow("15/1, before the movie") << int64_t(15) << int64_t(1) << int64_t(-40000) << int64_t(-1)
                                                << int64_t(-66667) << int64_t(-2940);
    }
    void exactRatesOverLongMovies() {
        QFETCH(int64_t, num);
        QFETCH(int64_t, den);
        QFETCH(int64_t, movieUs);
        QFETCH(int64_t, slot);
        QFETCH(int64_t, slotUs);
        QFETCH(int64_t, samples);
        const FramePeriod period{num, den};
        const FrameGrid<int> grid(period);
        QCOMPARE(grid.slotOf(movieUs), slot);
        QCOMPARE(period.slotUs(slot), slotUs);
        QCOMPARE(period.samplesFor(slot, 44100), samples);
        QCOMPARE(period.slotsIn(3600), num * 3600 / den);
    }

    // Frames every 25 ms on a 66.667 ms grid: each slot keeps the frame nearest
    // its time, and is committed when the next slot gets a frame.
    void nearestFrameWins() {
        FrameGrid<int> grid(66667);
        QVector<QPair<int64_t, int>> committed; // slot, frame
        FrameGrid<int>::Placed placed;
        for (int i = 0; i < 40; ++i)
            if (grid.offer(i, i * 25000, &placed)) committed.append({placed.slot, placed.payload});
        if (grid.takeCandidate(&placed)) committed.append({placed.slot, placed.payload});
        QCOMPARE(committed.size(), 16); // the last frame, at 975 ms, is nearest slot 15
        for (int k = 0; k < committed.size(); ++k) {
            QCOMPARE(committed[k].first, int64_t(k));
            // The frame nearest k * 66.667 ms.
            QCOMPARE(committed[k].second, qMin(39, int(std::llround(k * 66667 / 25000.0))));
        }
    }

    // A late frame (its slot already committed) is left out; a slow camera leaves
    // slots empty for the writer to fill.
    void lateAndMissingFrames() {
        FrameGrid<int> grid(100000);
        FrameGrid<int>::Placed placed;
        QVERIFY(!grid.offer(0, 0, &placed));
        QVERIFY(grid.offer(1, 300000, &placed)); // commits frame 0 at slot 0; slots 1 and 2 stay empty
        QCOMPARE(placed.slot, int64_t(0));
        QVERIFY(grid.offer(2, 400000, &placed));
        QCOMPARE(placed.slot, int64_t(3));
        QVERIFY(!grid.offer(3, 250000, &placed)); // slot 3 is taken: too late
        QVERIFY(grid.takeCandidate(&placed));
        QCOMPARE(placed.payload, 2);
        QCOMPARE(placed.slot, int64_t(4));
        QVERIFY(!grid.takeCandidate(&placed));
    }

    void monotonicModeIsTheClockItself() {
        MovieClock clock;
        QVERIFY(clock.isReady());
        clock.setOrigin(5000000);
        QCOMPARE(clock.movieUs(5100000), int64_t(100000));
    }

    // Blocks read with up to 15 ms of delay from a sound clock that runs 0.5 %
    // slow: the movie clock stays within 12 ms (its 10 ms dead band and jitter) of
    // the sound's position, well inside one frame.
    void soundClockFollowsTheSound() {
        MovieClock clock;
        clock.useAudio(8000);
        QVERIFY(!clock.isReady());
        const int64_t base = 7000000;
        auto truth = [&](int64_t samples) { return base + int64_t(samples * 1000000.0 / 8000 * 1.005); };
        int64_t samples = 0;
        for (int i = 0; i < 500; ++i) {
            samples += 160;
            const int64_t delay = (i * 7919) % 15000; // scheduling jitter
            clock.addAudioAnchor(samples, truth(samples) + delay);
            if (i == 9) {
                QVERIFY(clock.isReady());
                clock.setOrigin(truth(samples));
            }
            if (i > 40) {
                // The sound position at a monotonic time, against the truth.
                const int64_t at = truth(samples);
                const int64_t expected = samples * 1000000 / 8000 - 1600 * 1000000 / 8000;
                QVERIFY2(
                    qAbs(clock.movieUs(at) - expected) < 12000,
                    qPrintable(
                        QStringLiteral("block %1: %2 vs %3").arg(i).arg(clock.movieUs(at)).arg(expected)));
            }
        }
    }

    // A new estimate is taken in small steps once the movie runs: no jump.
    void clockSlewsInsteadOfJumping() {
        MovieClock clock;
        clock.useAudio(8000);
        int64_t samples = 0;
        for (int i = 0; i < 30; ++i) {
            samples += 160;
            clock.addAudioAnchor(samples, 1000000 + samples * 125 + 40000);
        }
        clock.setOrigin(1000000 + samples * 125);
        const int64_t before = clock.movieUs(3000000);
        // From now on every block comes 40 ms earlier than before: a better estimate.
        for (int i = 0; i < 30; ++i) {
            samples += 160;
            clock.addAudioAnchor(samples, 1000000 + samples * 125);
        }
        const int64_t after = clock.movieUs(3000000);
        QCOMPARE(after - before, int64_t(30 * 500)); // 0.5 ms a block, not 40 ms at once
        // Estimates that differ by less than 10 ms (jitter) leave the clock alone.
        MovieClock steady;
        steady.useAudio(8000);
        samples = 0;
        for (int i = 0; i < 30; ++i) {
            samples += 160;
            steady.addAudioAnchor(samples, 1000000 + samples * 125 + 8000);
        }
        steady.setOrigin(1000000);
        const int64_t held = steady.movieUs(3000000);
        for (int i = 0; i < 30; ++i) {
            samples += 160;
            steady.addAudioAnchor(samples, 1000000 + samples * 125);
        }
        QCOMPARE(steady.movieUs(3000000), held);
        QCOMPARE(clock.lateUs(samples + 160, 1000000 + (samples + 160) * 125 + 400000), int64_t(400000));
        QCOMPARE(clock.lateUs(samples + 160, 1000000 + (samples + 160) * 125), int64_t(0));
    }
};

QTEST_MAIN(TestRecorderClock)
#include "tst_recorder_clock.moc"
