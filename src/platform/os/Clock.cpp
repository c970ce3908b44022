#include "Clock.h"

#include <optional>

namespace {
std::optional<QDateTime> g_fixed;
}

namespace Clock {

QDateTime now() {
    return g_fixed ? *g_fixed : QDateTime::currentDateTime();
}

void set(const QDateTime& fixed) {
    g_fixed = fixed;
}

void advance(std::int64_t ms) {
    if (g_fixed) g_fixed = g_fixed->addMSecs(ms);
}

void reset() {
    g_fixed.reset();
}

} // namespace Clock
