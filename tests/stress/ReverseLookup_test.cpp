// The daemon's reverse lookups against a name server of the test's own: a forged
// reverse answer does not let a client pass for another host, and a name server
// that never answers delays a new connection by at most the lookup timeout.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/HostLookup.h"
#include "tests/stress/StressDaemon.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// These tests need the daemon to ask the test's own name server.
constexpr const char* kNoOwnNameServer =
    "this machine does not let a test give the daemon its own name server";

// The 001 line of a registration from `address`, and how long it took to come.
struct TWelcome {
    std::string Line;
    Clock::duration Waited{};
};

TWelcome Register(TStressDaemon& daemon, const std::string& address, const std::string& nick) {
    auto client = daemon.Connect(address);
    if (!client)
        return {};
    const auto start = Clock::now();
    SendRegistration(*client, nick);
    TWelcome welcome;
    welcome.Line = client->ReadLine(30000).value_or("");
    welcome.Waited = Clock::now() - start;
    return welcome;
}

TEST(ReverseLookup, AForgedReverseNameIsNotBelievedAndTheRealHostIsNotRefused) {
    // 127.0.0.9 controls its reverse zone and names itself after the victim, whose
    // forward zone leads to 127.0.0.5 only.
    TDaemonSettings settings;
    settings.Port = 18105;
    settings.NameRecords = {{{"9.0.0.127.in-addr.arpa", "victim.example.org"},
                             {"5.0.0.127.in-addr.arpa", "victim.example.org"}},
                            {{"victim.example.org", "127.0.0.5"}}};
    TStressDaemon daemon(settings);
    if (!daemon.NameServer())
        GTEST_SKIP() << kNoOwnNameServer;

    auto mallory = daemon.Connect("127.0.0.9");
    ASSERT_TRUE(mallory);
    SendRegistration(*mallory, "mallory");
    const auto malloryWelcome = mallory->ReadLine(30000).value_or("");
    EXPECT_NE(malloryWelcome.find(" 001 "), std::string::npos) << malloryWelcome;
    EXPECT_NE(malloryWelcome.find("mallory!~mallory@127.0.0.9\r\n"), std::string::npos)
        << malloryWelcome;

    // The real host is named by its confirmed name, and is not taken for a second
    // user of a host that already has one.
    const auto victim = Register(daemon, "127.0.0.5", "victim");
    EXPECT_NE(victim.Line.find(" 001 "), std::string::npos) << victim.Line;
    EXPECT_NE(victim.Line.find("victim!~victim@victim.example.org\r\n"), std::string::npos)
        << victim.Line;
    EXPECT_GE(daemon.NameServer()->Questions(), 3) << "the daemon did not ask our name server";
}

TEST(ReverseLookup, ANameServerThatNeverAnswersDelaysNewConnectionsByAtMostTheTimeout) {
    TDaemonSettings settings;
    settings.Port = 18106;
    settings.SilentNameServer = true;
    TStressDaemon daemon(settings);
    if (!daemon.NameServer())
        GTEST_SKIP() << kNoOwnNameServer;
    ASSERT_TRUE(daemon.Connect("127.0.0.2"));  // listening

    // Fifty at once: as many lookups as the network's share lets run wait for the
    // timeout, the rest fail after a short wait for a place; each connection goes on
    // with its dotted address.
    constexpr int kClients = 50;
    std::vector<TWelcome> welcomes(kClients);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            welcomes[i] = Register(daemon, LoopbackAddress(10 + i), "u" + std::to_string(i));
        });
    }
    for (auto& client : clients)
        client.join();
    Clock::duration longest{};
    for (int i = 0; i < kClients; ++i) {
        EXPECT_NE(welcomes[i].Line.find("@" + LoopbackAddress(10 + i) + "\r\n"), std::string::npos)
            << welcomes[i].Line;
        longest = std::max(longest, welcomes[i].Waited);
    }
    const auto longestMs = std::chrono::duration_cast<std::chrono::milliseconds>(longest);
    std::printf("longest wait for the welcome on a silent name server: %lld ms\n",
                static_cast<long long>(longestMs.count()));
    EXPECT_LT(longest, platform::THostLookupLimits{}.Timeout + 1s);
    EXPECT_GE(daemon.NameServer()->Questions(), 1) << "the daemon did not ask our name server";

    // The lookups still waiting for the name server cost a bounded number of threads:
    // beside the main, service and accept threads and at most one thread for each
    // connection, only the bounded lookups.
    EXPECT_LE(daemon.Figures().Threads,
              3 + kClients + 1 + platform::THostLookupLimits{}.MaxRunningPerNetwork);
}

}  // namespace
