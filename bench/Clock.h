#pragma once

// The one clock every benchmark process reads: CLOCK_MONOTONIC is shared by the whole machine,
// so a time taken in one process can be compared with one taken in another.

#include <ctime>

namespace ferrodock::bench {

inline long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace ferrodock::bench
