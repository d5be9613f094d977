// Threads with a stack of their own size: the body runs on a stack of that size,
// an overflow stops at the guard page instead of running into other memory, and
// joining gives the stack back to the system.
#include "listener/SizedThread.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

namespace {

struct TStackSeen {
    void* address = nullptr;
    std::size_t size = 0;
    std::thread::id thread;
};

TStackSeen StackOfThisThread() {
    pthread_attr_t attributes;
    TStackSeen seen;
    pthread_getattr_np(pthread_self(), &attributes);
    pthread_attr_getstack(&attributes, &seen.address, &seen.size);
    pthread_attr_destroy(&attributes);
    seen.thread = std::this_thread::get_id();
    return seen;
}

bool IsMapped(void* address) {
    unsigned char resident = 0;
    return mincore(address, 1, &resident) == 0 || errno != ENOMEM;
}

TEST(SizedThread, RunsOnAStackOfTheAskedSizeThatJoiningUnmaps) {
    TStackSeen seen;
    listener::TSizedThread thread;
    thread.Start(256 * 1024, [&] { seen = StackOfThisThread(); });
    EXPECT_TRUE(thread.Joinable());
    thread.Join();
    EXPECT_FALSE(thread.Joinable());
    EXPECT_NE(seen.thread, std::this_thread::get_id());
    EXPECT_GE(seen.size, 256u * 1024);
    EXPECT_LT(seen.size, 4u << 20) << "not the asked size, but the process default";
    EXPECT_FALSE(IsMapped(seen.address)) << "the stack stays mapped after the join";
}

TEST(SizedThread, TheDestructorWaitsForTheBody) {
    std::atomic<bool> finished{false};
    {
        listener::TSizedThread thread;
        thread.Start(256 * 1024, [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            finished = true;
        });
    }
    EXPECT_TRUE(finished);
}

// Uses about `depth` KiB of stack; the volatile buffer keeps each frame real.
int Recurse(int depth) {
    volatile char frame[1024];
    std::memset(const_cast<char*>(frame), depth, sizeof frame);
    return depth == 0 ? frame[0] : Recurse(depth - 1) + frame[1];
}

TEST(SizedThreadDeathTest, AnOverflowStopsAtTheGuardPage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    int withinResult = -1;
    listener::TSizedThread within;
    within.Start(256 * 1024, [&] { withinResult = Recurse(64); });
    within.Join();
    EXPECT_EQ(withinResult, 64 * 65 / 2);

    EXPECT_DEATH(
        {
            listener::TSizedThread overflowing;
            overflowing.Start(256 * 1024, [] { Recurse(4096); });
        },
        "");
}

}  // namespace
