// Peer host names: a reverse name counts only when its forward lookup leads back to
// the address, a lookup never keeps its caller past the timeout, and a resolver that
// never answers cannot pile up lookup threads.
#include "platform/HostLookup.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

in_addr Address(const char* dotted) {
    in_addr address{};
    inet_pton(AF_INET, dotted, &address);
    return address;
}

// A resolver that answers from two tables, as a zone owner would configure them.
platform::THostResolver TableResolver(std::map<std::string, std::string> reverse,
                                      std::multimap<std::string, std::string> forward) {
    return {[reverse](in_addr address) {
                char text[INET_ADDRSTRLEN] = {};
                inet_ntop(AF_INET, &address, text, sizeof text);
                const auto found = reverse.find(text);
                return found == reverse.end() ? std::string() : found->second;
            },
            [forward](const std::string& name) {
                std::vector<in_addr> addresses;
                const auto [first, last] = forward.equal_range(name);
                for (auto entry = first; entry != last; ++entry)
                    addresses.push_back(Address(entry->second.c_str()));
                return addresses;
            }};
}

// A resolver whose every reverse lookup hangs until Open, like one whose name server
// does not answer; it counts the lookups that reached it.
struct TStalledResolver {
    struct TGate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        std::atomic<int> asked{0};
    };
    std::shared_ptr<TGate> gate = std::make_shared<TGate>();

    platform::THostResolver Resolver() const {
        return {[gate = gate](in_addr) {
                    ++gate->asked;
                    std::unique_lock lock(gate->mutex);
                    gate->opened.wait(lock, [&] { return gate->open; });
                    return std::string("late.example.org");
                },
                [](const std::string&) { return std::vector<in_addr>{Address("127.0.0.9")}; }};
    }
    void Open() const {
        std::lock_guard lock(gate->mutex);
        gate->open = true;
        gate->opened.notify_all();
    }
};

bool WaitForNoneRunning(const platform::THostNameLookup& lookup) {
    const auto deadline = Clock::now() + 5s;
    while (lookup.Running() > 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    return lookup.Running() == 0;
}

TEST(HostLookup, TheSystemResolverConfirmsTheLoopbackNameFromTheHostsFile) {
    EXPECT_EQ(platform::ConfirmedHostName(Address("127.0.0.1")), "localhost");
    const auto addresses = platform::SystemResolver().AddressesOf("localhost");
    ASSERT_FALSE(addresses.empty());
    EXPECT_EQ(addresses.front().s_addr, Address("127.0.0.1").s_addr);
}

TEST(HostLookup, TheSystemResolverGivesUpOnAnUnnamedAddressWithinTheTimeout) {
    // This machine's name server may take 5 s or more to fail such a lookup, or fail
    // it at once; either way the caller has its answer within the timeout.
    const auto start = Clock::now();
    EXPECT_EQ(platform::ConfirmedHostName(Address("127.0.0.253")), "");
    EXPECT_LT(Clock::now() - start, platform::THostLookupLimits{}.Timeout + 500ms);
}

TEST(HostLookup, AReverseNameCountsOnlyWhenItsForwardLookupGivesTheAddressBack) {
    // 127.0.0.9 answers for its own reverse zone and claims the victim's name; the
    // victim's forward zone names 127.0.0.5 only.
    const platform::THostNameLookup lookup(TableResolver({{"127.0.0.9", "victim.example.org"},
                                                          {"127.0.0.5", "victim.example.org"},
                                                          {"127.0.0.7", "multi.example.org"},
                                                          {"127.0.0.8", "nowhere.example.org"}},
                                                         {{"victim.example.org", "127.0.0.5"},
                                                          {"multi.example.org", "127.0.0.6"},
                                                          {"multi.example.org", "127.0.0.7"}}),
                                           {.Timeout = 1s, .MaxRunning = 4});
    EXPECT_EQ(lookup.ConfirmedName(Address("127.0.0.9")), "");
    EXPECT_EQ(lookup.ConfirmedName(Address("127.0.0.5")), "victim.example.org");
    EXPECT_EQ(lookup.ConfirmedName(Address("127.0.0.7")), "multi.example.org")
        << "any one of the name's addresses confirms it";
    EXPECT_EQ(lookup.ConfirmedName(Address("127.0.0.8")), "") << "a name that resolves nowhere";
    EXPECT_EQ(lookup.ConfirmedName(Address("127.0.0.2")), "") << "an address without a name";
    EXPECT_EQ(lookup.Running(), 0);
}

TEST(HostLookup, AResolverThatThrowsNamesNothing) {
    const platform::THostNameLookup lookup(
        {[](in_addr) -> std::string { throw std::runtime_error("resolver broke"); },
         [](const std::string&) { return std::vector<in_addr>{}; }},
        {.Timeout = 1s, .MaxRunning = 4});
    EXPECT_EQ(lookup.ConfirmedName(Address("127.0.0.2")), "");
    EXPECT_TRUE(WaitForNoneRunning(lookup));
}

TEST(HostLookup, ALookupThatOutlivesTheTimeoutFailsAndItsLateAnswerIsDropped) {
    TStalledResolver stalled;
    const platform::THostNameLookup lookup(stalled.Resolver(), {.Timeout = 200ms, .MaxRunning = 4});
    const auto start = Clock::now();
    EXPECT_EQ(lookup.ConfirmedName(Address("127.0.0.9")), "");
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 200ms);
    EXPECT_LT(waited, 1500ms);
    EXPECT_EQ(lookup.Running(), 1) << "the stalled lookup still runs in the background";

    stalled.Open();  // its answer now comes, to nobody
    EXPECT_TRUE(WaitForNoneRunning(lookup));
    EXPECT_EQ(lookup.ConfirmedName(Address("127.0.0.9")), "late.example.org");
}

// Peers whose name servers never answer: 127.0.1.x and 127.0.2.x stall, everyone
// else is named at once.
struct TPartlyStalledResolver {
    TStalledResolver stalled;
    platform::THostResolver Resolver() const {
        return {[slow = stalled.Resolver()](in_addr address) {
                    const auto network = (ntohl(address.s_addr) >> 8) & 0xFF;
                    return network == 1 || network == 2 ? slow.NameOf(address)
                                                        : std::string("fast.example.org");
                },
                [](const std::string&) { return std::vector<in_addr>{Address("127.0.0.9")}; }};
    }
};

TEST(HostLookup, PeersWhoseNameServersNeverAnswerTakeNoOnesPlaceButTheirNetworks) {
    TPartlyStalledResolver resolver;
    const platform::THostNameLookup lookup(
        resolver.Resolver(),
        {.Timeout = 300ms, .PlaceWait = 100ms, .MaxRunning = 6, .MaxRunningPerNetwork = 3});
    // Many stalling addresses of one network, each asked twice: one lookup an address,
    // and the network's share of the places.
    std::vector<std::thread> callers;
    for (int i = 0; i < 8; ++i) {
        const std::string address = "127.0.1." + std::to_string(10 + i % 4);
        callers.emplace_back(
            [&, address] { EXPECT_EQ(lookup.ConfirmedName(Address(address.c_str())), ""); });
    }
    for (auto& caller : callers)
        caller.join();
    EXPECT_EQ(resolver.stalled.gate->asked, 3) << "one lookup an address, three a network";
    EXPECT_EQ(lookup.Running(), 3);

    // Another network's peer is named as usual, while the stalled ones still run.
    EXPECT_EQ(lookup.ConfirmedName(Address("127.0.0.9")), "fast.example.org");
    // A second stalling network takes the rest of the total; beyond it a lookup waits
    // for a place only briefly and fails without asking the resolver.
    callers.clear();
    for (int i = 0; i < 3; ++i) {
        const std::string address = "127.0.2." + std::to_string(10 + i);
        callers.emplace_back(
            [&, address] { EXPECT_EQ(lookup.ConfirmedName(Address(address.c_str())), ""); });
    }
    for (auto& caller : callers)
        caller.join();
    ASSERT_EQ(lookup.Running(), 6);
    const auto start = Clock::now();
    EXPECT_EQ(lookup.ConfirmedName(Address("127.0.0.9")), "");
    EXPECT_LT(Clock::now() - start, 300ms) << "a short wait for a place, no lookup";
    EXPECT_EQ(resolver.stalled.gate->asked, 6);

    resolver.stalled.Open();
    EXPECT_TRUE(WaitForNoneRunning(lookup));
    EXPECT_EQ(lookup.ConfirmedName(Address("127.0.0.9")), "fast.example.org")
        << "lookups run again once the stalled ones have ended";
}

}  // namespace
