#pragma once

#include <cstdint>
#include <deque>

// Turns monotonic capture times into movie time. Without sound the movie's time is
// the monotonic clock from the first frame on. With sound the sound card's clock is
// the master: a capture time is first turned into the position of the sound stream
// at that moment, so picture and sound stay together however the two clocks drift.
class MovieClock {
public:
    // Sound mode: rate in samples per second. Without a call, monotonic mode.
    void useAudio(int samplesPerSec) { m_rate = samplesPerSec; }
    bool usesAudio() const { return m_rate > 0; }
    // A sound block ending at sample samplesEnd (counted from the first sample read)
    // was taken at monotonic time endMonoUs.
    void addAudioAnchor(std::int64_t samplesEnd, std::int64_t endMonoUs);
    // How much later than the sound clock predicts a block ending at samplesEnd
    // arrived: sound the server lost (it fell behind), or 0.
    std::int64_t lateUs(std::int64_t samplesEnd, std::int64_t endMonoUs) const;
    // False in sound mode until the first ten sound blocks (200 ms) arrived: the
    // clock settles on them, and the movie starts once it has.
    bool isReady() const { return !usesAudio() || m_anchors.size() >= 10; }

    // Sound position (microseconds from the first sample) at a monotonic time; in
    // monotonic mode the time itself.
    std::int64_t masterUs(std::int64_t monoUs) const;
    // Movie time 0 is the master time of monoUs (the first frame of the movie).
    void setOrigin(std::int64_t monoUs) {
        m_originUs = masterUs(monoUs);
        m_started = true;
    }
    std::int64_t originUs() const { return m_originUs; }
    std::int64_t movieUs(std::int64_t monoUs) const { return masterUs(monoUs) - m_originUs; }

private:
    struct Anchor {
        std::int64_t audioUs; // sound position of the block's end
        std::int64_t monoUs;  // when it was taken
    };

    int m_rate = 0;
    std::int64_t m_originUs = 0;
    std::deque<Anchor> m_anchors;
    // Monotonic time of sound position 0. A block is read a little after it was
    // taken, never before, so the smallest value of recent blocks is the estimate
    // (m_targetOffsetUs); m_offsetUs is the value in use, which follows it smoothly.
    std::int64_t m_targetOffsetUs = 0;
    std::int64_t m_offsetUs = 0;
    bool m_started = false;
};

// The movie's frame period as the file states it: `den`/`num` seconds (a rate of
// num/den frames per second), kept exact. Slot times are computed from it, never by
// adding a period rounded to microseconds: 33,333 us a frame at 30/1 puts the picture
// 36 ms behind the sound in an hour.
struct FramePeriod {
    std::int64_t num = 15; // frames ...
    std::int64_t den = 1;  // ... per this many seconds

    static FramePeriod ofMicroseconds(std::int64_t us) { return {1000000, us > 0 ? us : 1}; }
    // The slot whose time is nearest movieUs (negative before the movie).
    std::int64_t slotOf(std::int64_t movieUs) const { return nearest(movieUs * num, 1000000 * den); }
    // Slot n's movie time, to the nearest microsecond.
    std::int64_t slotUs(std::int64_t slot) const { return nearest(slot * 1000000 * den, num); }
    // The frames of `seconds` of movie.
    std::int64_t slotsIn(double seconds) const {
        return std::int64_t(seconds * double(num) / double(den) + 0.5);
    }
    // The samples of sound that belong to `frames` frames, at `samplesPerSec`.
    std::int64_t samplesFor(std::int64_t frames, int samplesPerSec) const {
        return nearest(frames * den * samplesPerSec, num);
    }

    // a / b to the nearest whole number, halves up (b > 0).
    static std::int64_t nearest(std::int64_t a, std::int64_t b) {
        const std::int64_t twice = 2 * a + b;
        return twice >= 0 ? twice / (2 * b) : -1 - (-twice - 1) / (2 * b);
    }
};

// Places frames on the movie's frame grid (slot n at n periods of movie time) by
// their movie time. Of several frames falling into one slot the one nearest the
// slot's time is kept, so a camera faster than the movie is thinned out evenly.
// A frame is committed once a later slot has a frame; the caller fills slots left
// empty by repeating the previous frame (counted as dropped).
template <typename Payload> class FrameGrid {
public:
    struct Placed {
        Payload payload;
        std::int64_t slot;
    };

    explicit FrameGrid(std::int64_t usPerFrame) : m_period(FramePeriod::ofMicroseconds(usPerFrame)) {}
    explicit FrameGrid(FramePeriod period) : m_period(period) {}

    std::int64_t slotOf(std::int64_t movieUs) const { return m_period.slotOf(movieUs); }

    // Offers a frame; gives the earlier candidate when this frame starts a later slot.
    bool offer(const Payload& payload, std::int64_t movieUs, Placed* committed) {
        const std::int64_t slot = slotOf(movieUs);
        if (slot < 0 || slot <= m_lastCommitted) return false;
        if (m_hasCandidate && slot == m_candidate.slot) {
            const std::int64_t target = m_period.slotUs(slot);
            if (distance(movieUs, target) < distance(m_candidateUs, target)) {
                m_candidate.payload = payload;
                m_candidateUs = movieUs;
            }
            return false;
        }
        const bool commits = m_hasCandidate;
        if (commits) {
            *committed = m_candidate;
            m_lastCommitted = m_candidate.slot;
        }
        m_candidate = {payload, slot};
        m_candidateUs = movieUs;
        m_hasCandidate = true;
        return commits;
    }

    // At the end of the movie: the frame still held back, if any.
    bool takeCandidate(Placed* committed) {
        if (!m_hasCandidate) return false;
        *committed = m_candidate;
        m_lastCommitted = m_candidate.slot;
        m_hasCandidate = false;
        return true;
    }
    bool hasCandidate() const { return m_hasCandidate; }
    std::int64_t candidateSlot() const { return m_hasCandidate ? m_candidate.slot : -1; }

private:
    static std::int64_t distance(std::int64_t a, std::int64_t b) { return a > b ? a - b : b - a; }

    FramePeriod m_period;
    std::int64_t m_lastCommitted = -1;
    bool m_hasCandidate = false;
    Placed m_candidate{};
    std::int64_t m_candidateUs = 0;
};
