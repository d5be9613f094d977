// Whole runs of the load generator against a small relay of its own: through a sound
// relay every message arrives once and in order in each mode, and a relay that drops,
// duplicates or swaps one line is caught.
#include "bench/LoadRun.h"

#include <gtest/gtest.h>

#include "bench/tests/FakeRelayServer.h"

namespace {

using EFault = TFakeRelayServer::EFault;

TGeneratorOptions ShortRun(uint16_t port, int senders) {
    TGeneratorOptions options;
    options.Port = port;
    options.Clients = 4;
    options.Senders = senders;
    options.DurationS = 0.3;
    options.DrainTimeoutS = 0.5;
    options.SetupTimeoutS = 10;
    return options;
}

TRunResult RunAgainst(EFault fault, TGeneratorOptions options) {
    TFakeRelayServer server(fault);
    options.Port = server.Port();
    return TLoadRun(options).Run();
}

TEST(LoadRun, ThroughASoundRelayEveryMessageArrivesOnceAndInOrder) {
    auto channel = ShortRun(0, 2);
    auto result = RunAgainst(EFault::None, channel);
    EXPECT_EQ(result.Status, "ok");
    EXPECT_GT(result.Sent, 20u);
    EXPECT_EQ(result.Latency.Count(), result.Sent * 3);  // every other member got each
    EXPECT_GT(result.SendPhaseDeliveries, 0u);
    EXPECT_TRUE(result.RegisterSeconds);

    auto nick = ShortRun(0, 2);
    nick.ToNick = true;
    result = RunAgainst(EFault::None, nick);
    EXPECT_EQ(result.Status, "ok");
    EXPECT_GT(result.Sent, 20u);
    EXPECT_EQ(result.Latency.Count(), result.Sent);

    auto first = ShortRun(0, 2);
    first.UntilFirstReceipt = true;
    result = RunAgainst(EFault::None, first);
    EXPECT_EQ(result.Status, "ok");
    EXPECT_GT(result.Sent, 20u);
    EXPECT_EQ(result.Latency.Count(), result.Sent * 3);  // the drain waits for every one

    auto paced = ShortRun(0, 2);
    paced.Rate = 200;  // 60 messages in 0.3 s, 30 from each sender
    result = RunAgainst(EFault::None, paced);
    EXPECT_EQ(result.Status, "ok");
    EXPECT_NEAR(static_cast<double>(result.Sent), 60, 2);
    EXPECT_EQ(result.Latency.Count(), result.Sent * 3);
    EXPECT_LT(result.LateSends, result.Sent);
}

TEST(LoadRun, ALostDuplicatedOrSwappedLineIsCaught) {
    // One sender, so that the swapped pair are two messages of the same sender.
    auto result = RunAgainst(EFault::DropOne, ShortRun(0, 1));
    EXPECT_EQ(result.Status, "faults");
    EXPECT_EQ(result.Lost, 1u);
    EXPECT_EQ(result.Duplicated + result.Reordered, 0u);

    result = RunAgainst(EFault::DuplicateOne, ShortRun(0, 1));
    EXPECT_EQ(result.Status, "faults");
    EXPECT_EQ(result.Duplicated, 1u);
    EXPECT_EQ(result.Lost, 0u);

    result = RunAgainst(EFault::SwapTwo, ShortRun(0, 1));
    EXPECT_EQ(result.Status, "faults");
    EXPECT_EQ(result.Reordered, 1u);
    EXPECT_EQ(result.Lost + result.Duplicated, 0u);
}

TEST(LoadRun, SetupFailsWhenNoServerListens) {
    uint16_t closedPort = 0;
    {
        TFakeRelayServer server(EFault::None);
        closedPort = server.Port();
    }
    const auto result = TLoadRun(ShortRun(closedPort, 1)).Run();
    EXPECT_EQ(result.Status, "setup_failed");
    EXPECT_FALSE(result.RegisterSeconds);
}

}  // namespace
