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

    explicit FrameGrid(std::int64_t usPerFrame) : m_period(usPerFrame) {}

    std::int64_t slotOf(std::int64_t movieUs) const {
        const std::int64_t shifted = movieUs + m_period / 2;
        return shifted >= 0 ? shifted / m_period : -1 - (-shifted - 1) / m_period;
    }

    // Offers a frame; gives the earlier candidate when this frame starts a later slot.
    bool offer(const Payload& payload, std::int64_t movieUs, Placed* committed) {
        const std::int64_t slot = slotOf(movieUs);
        if (slot < 0 || slot <= m_lastCommitted) return false;
        if (m_hasCandidate && slot == m_candidate.slot) {
            const std::int64_t target = slot * m_period;
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

    std::int64_t m_period;
    std::int64_t m_lastCommitted = -1;
    bool m_hasCandidate = false;
    Placed m_candidate{};
    std::int64_t m_candidateUs = 0;
};
