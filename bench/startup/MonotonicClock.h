#pragma once

#include <ctime>

// CLOCK_MONOTONIC in nanoseconds: the one clock that the driver and the programs
// it starts both read, so their readings can be subtracted.
inline long long MonotonicNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}
