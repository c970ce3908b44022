#include "MovieClock.h"

#include <algorithm>

namespace {
// About two seconds of 20 ms blocks: long enough to find a block read without
// delay, short enough to follow a drift between the two clocks.
constexpr size_t kAnchorWindow = 100;
} // namespace

void MovieClock::addAudioAnchor(int64_t samplesEnd, int64_t endMonoUs) {
    if (!usesAudio()) return;
    m_offsets.push_back(endMonoUs - samplesEnd * 1000000 / m_rate);
    if (m_offsets.size() > kAnchorWindow) m_offsets.pop_front();
}

int64_t MovieClock::masterUs(int64_t monoUs) const {
    if (!usesAudio() || m_offsets.empty()) return monoUs;
    return monoUs - *std::min_element(m_offsets.begin(), m_offsets.end());
}
