#pragma once

#include <cstdint>

// Monotonic time in microseconds (CLOCK_MONOTONIC): the clock of
// VideoFrame::captureTimeUs, of the sound blocks' times and of the recorder.
std::int64_t monotonicTimeUs();
