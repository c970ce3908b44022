#pragma once

#include <QDateTime>
#include <cstdint>

// The program's one source of the current date and time. Tests set a fixed time
// (or advance it) instead of waiting; the log, the stamps, the timers and the
// scheduled start all read it here.
namespace Clock {

QDateTime now();

// Test seam: a fixed time that now() returns until reset().
void set(const QDateTime& fixed);
void advance(std::int64_t ms);
void reset();

} // namespace Clock
