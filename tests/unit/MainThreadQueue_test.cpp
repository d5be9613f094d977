// Steps asked of the main thread run there, in order, and the askers wait for them.
#include "tests/support/MainThreadQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(MainThreadQueue, StepsFromOtherThreadsRunInTheMainThreadAndAreWaitedFor) {
    TMainThreadQueue queue;
    const auto mainId = std::this_thread::get_id();
    std::vector<std::thread> askers;
    std::atomic<int> ranInMain{0};
    for (int i = 0; i < 4; ++i) {
        askers.emplace_back([&] {
            for (int n = 0; n < 50; ++n) {
                bool ran = false;
                queue.Invoke([&] {
                    ran = true;
                    if (std::this_thread::get_id() == mainId)
                        ++ranInMain;
                });
                EXPECT_TRUE(ran) << "Invoke returned before its step ran";
            }
        });
    }
    std::thread stopper([&] {
        for (auto& asker : askers)
            asker.join();
        queue.Stop();
    });
    queue.Serve();
    stopper.join();
    EXPECT_EQ(ranInMain, 200);
}

TEST(MainThreadQueue, InTheMainThreadOrAfterStopAStepRunsAtOnce) {
    TMainThreadQueue queue;
    int runs = 0;
    queue.Invoke([&] { ++runs; });
    EXPECT_EQ(runs, 1);
    queue.Stop();
    std::thread late([&] { queue.Invoke([&] { ++runs; }); });
    late.join();
    EXPECT_EQ(runs, 2);
}

TEST(MainThreadQueue, ServeUntilServesRequestsUntilItsConditionHolds) {
    TMainThreadQueue queue;
    std::atomic<bool> finished{false};
    int served = 0;
    std::thread asker([&] {
        for (int n = 0; n < 5; ++n)
            queue.Invoke([&] { ++served; });
        finished = true;
    });
    queue.ServeUntil([&] { return finished.load(); });
    asker.join();
    EXPECT_EQ(served, 5);
}

}  // namespace
