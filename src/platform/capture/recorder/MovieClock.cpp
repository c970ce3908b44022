#include "MovieClock.h"

#include <algorithm>
#include <cmath>

namespace {
// Half a second of 20 ms blocks: long enough to find a block read without delay,
// short enough to follow a drift between the clocks (a sound server short of CPU
// time runs slow) within a millisecond or two.
constexpr size_t kWindow = 25;
// Once the movie runs, the clock moves towards a new estimate by at most 0.5 ms a
// block (2.5 %), so the picture never jumps (a frame left out or doubled) while
// sound and picture stay together; estimates within 10 ms of the clock in use are
// the server's jitter and leave it alone.
constexpr std::int64_t kSlewUs = 500;
constexpr std::int64_t kDeadbandUs = 10000;
} // namespace

void MovieClock::addAudioAnchor(std::int64_t samplesEnd, std::int64_t endMonoUs) {
    if (!usesAudio()) return;
    m_anchors.push_back({samplesEnd * 1000000 / m_rate, endMonoUs});
    if (m_anchors.size() > kWindow) m_anchors.pop_front();
    std::int64_t offset = INT64_MAX;
    for (const Anchor& a : m_anchors)
        offset = std::min(offset, a.monoUs - a.audioUs);
    m_targetOffsetUs = offset;
    if (!m_started)
        m_offsetUs = offset;
    else if (std::abs(offset - m_offsetUs) > kDeadbandUs)
        m_offsetUs += std::clamp(offset - m_offsetUs, -kSlewUs, kSlewUs);
}

std::int64_t MovieClock::lateUs(std::int64_t samplesEnd, std::int64_t endMonoUs) const {
    if (!usesAudio() || m_anchors.size() < kWindow) return 0;
    return std::max<std::int64_t>(0, endMonoUs - (m_targetOffsetUs + samplesEnd * 1000000 / m_rate));
}

std::int64_t MovieClock::masterUs(std::int64_t monoUs) const {
    if (!usesAudio() || m_anchors.empty()) return monoUs;
    return monoUs - m_offsetUs;
}
