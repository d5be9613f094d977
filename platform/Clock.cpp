// The millisecond counter, taken from CLOCK_MONOTONIC.
#include "platform/Clock.h"

#include <atomic>
#include <ctime>

namespace platform {

namespace {

std::atomic<uint32_t> testOffset{0};

}  // namespace

uint32_t TimeGetTime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto milliseconds = uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
    return uint32_t(milliseconds) + testOffset.load(std::memory_order_relaxed);
}

void SetTimeOffsetForTests(uint32_t offset) {
    testOffset.store(offset, std::memory_order_relaxed);
}

}  // namespace platform
