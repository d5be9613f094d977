// The wrapping millisecond counter and elapsed times across its wrap-around.
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using platform::ElapsedMs;
using platform::SetTimeOffsetForTests;
using platform::TimeGetTime;

class ClockTest : public ::testing::Test {
  protected:
    void TearDown() override { SetTimeOffsetForTests(0); }
};

TEST_F(ClockTest, ElapsedTimeAllowsForTheWrapAround) {
    EXPECT_EQ(ElapsedMs(1500, 1000), 500u);
    EXPECT_EQ(ElapsedMs(5, 0xFFFFFFF0u), 21u);
    EXPECT_EQ(ElapsedMs(0, 0xFFFFFFFFu), 1u);
    EXPECT_EQ(ElapsedMs(7, 7), 0u);
}

TEST_F(ClockTest, CounterAdvancesInMilliseconds) {
    const uint32_t start = TimeGetTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const uint32_t elapsed = ElapsedMs(TimeGetTime(), start);
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 5000u);
}

TEST_F(ClockTest, OffsetMovesEveryLaterReading) {
    const uint32_t plain = TimeGetTime();
    SetTimeOffsetForTests(1000000);
    const uint32_t shifted = ElapsedMs(TimeGetTime(), plain);
    EXPECT_GE(shifted, 1000000u);
    EXPECT_LT(shifted, 1005000u);
}

TEST_F(ClockTest, CounterWrapsAtTwoToThe32) {
    // Move the counter to 200 ms before the wrap, then let it pass the wrap.
    const uint32_t plain = TimeGetTime();
    SetTimeOffsetForTests(0xFFFFFFFFu - 200 - plain);
    const uint32_t beforeWrap = TimeGetTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const uint32_t afterWrap = TimeGetTime();
    EXPECT_GT(beforeWrap, 0xFFFF0000u);
    EXPECT_LT(afterWrap, 0x10000u);
    EXPECT_GE(ElapsedMs(afterWrap, beforeWrap), 300u);
    EXPECT_LT(ElapsedMs(afterWrap, beforeWrap), 5000u);
}

}  // namespace
