// The 32-bit millisecond counter that the connection timers run on. It wraps at 2^32
// like the counter the server was written against, so elapsed times are always taken
// with ElapsedMs, which stays right across the wrap.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds of the monotonic clock (plus the test offset), wrapping at 2^32.
uint32_t TimeGetTime();

// Adds offset to every later TimeGetTime, so tests can move the counter (for example
// just before its wrap-around). 0 restores the plain counter.
void SetTimeOffsetForTests(uint32_t offset);

// Milliseconds from earlier to now on the wrapping counter.
inline uint32_t ElapsedMs(uint32_t now, uint32_t earlier) {
    return uint32_t(now - earlier);
}

}  // namespace platform
