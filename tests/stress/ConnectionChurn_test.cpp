// A thousand connections opened and dropped in nine ways while ten others chat:
// the chat goes on undisturbed, and afterwards the daemon's threads, descriptors and
// registry are back at their idle figures and its resident memory is near it. The
// same holds when a crowd of a thousand leaves at once and nobody comes after.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/stress/StressDaemon.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kPort = 18101;
constexpr uint16_t kCrowdPort = 18108;
constexpr int kChatters = 10;
constexpr int kChurnConnections = 1000;
constexpr int kChurnWorkers = 4;
constexpr int kFirstChurnAddress = 100;  // the chatters and the observer come before

enum class TDrop {
    ResetAtOnce,
    CloseAtOnce,
    CloseAfterNick,
    CloseMidLine,
    HalfCloseMidRegistration,
    ResetBeforeTheWelcome,
    CloseRightAfterJoin,
    ResetAfterTalking,
    Quit,
};
constexpr int kDropWays = 9;

// One connection from `address`, dropped `way`. Every way ends with the client's
// side closed; those that wait for the server wait a bounded time.
void ChurnOnce(TStressDaemon& daemon, const std::string& address, TDrop way, int index) {
    auto client = daemon.Connect(address);
    ASSERT_TRUE(client) << "connection " << index << " from " << address << " failed";
    const std::string nick = "c" + std::to_string(index);
    const std::string registration =
        "NICK " + nick + "\r\nUSER " + nick + " host server :Churn\r\n";
    switch (way) {
        case TDrop::ResetAtOnce:
            ResetConnection(std::move(client));
            break;
        case TDrop::CloseAtOnce:
            break;
        case TDrop::CloseAfterNick:
            client->SendRaw("NICK " + nick + "\r\n");
            break;
        case TDrop::CloseMidLine:
            client->SendRaw("NICK " + nick + "\r\nUSER " + nick + " host ser");
            break;
        case TDrop::HalfCloseMidRegistration:
            client->SendRaw("NICK " + nick + "\r\n");
            shutdown(client->Fd(), SHUT_WR);
            EXPECT_TRUE(client->WaitClosed()) << "the server kept a half-closed connection";
            break;
        case TDrop::ResetBeforeTheWelcome:
            client->SendRaw(registration);
            ResetConnection(std::move(client));
            break;
        case TDrop::CloseRightAfterJoin:
            client->SendRaw(registration + "JOIN #churn\r\n");
            break;
        case TDrop::ResetAfterTalking:
            client->SendRaw(registration + "JOIN #chat\r\n");
            client->ReadUntil(" 366 ");
            client->Send("PRIVMSG #chat :leaving soon");
            ResetConnection(std::move(client));
            break;
        case TDrop::Quit:
            client->SendRaw(registration + "JOIN #churn\r\n");
            client->ReadUntil(" 366 ");
            client->Send("QUIT :bye");
            EXPECT_TRUE(client->WaitClosed());
            break;
    }
}

// Ten registered members of #chat; one says something, and every other one must
// hear it within a bounded time.
class TChatRoom {
  public:
    explicit TChatRoom(TStressDaemon& daemon) {
        for (int i = 0; i < kChatters; ++i) {
            members_.push_back(daemon.Connect(LoopbackAddress(i)));
            SendRegistration(*members_.back(), "chat" + std::to_string(i));
            members_.back()->ReadUntil(" 376 ");
            members_.back()->Send("JOIN #chat");
            members_.back()->ReadUntil(" 366 ");
        }
    }

    // One message from member round % 10, heard by the nine others; answers how long
    // the slowest took to hear it.
    Clock::duration Talk(int round) {
        const std::string text = "round " + std::to_string(round) + " ";
        const auto sent = Clock::now();
        members_[round % kChatters]->Send("PRIVMSG #chat :" + text);
        for (int i = 0; i < kChatters; ++i) {
            if (i != round % kChatters)
                members_[i]->ReadUntil(":" + text, 5000);
        }
        return Clock::now() - sent;
    }

  private:
    std::vector<std::unique_ptr<TTestClient>> members_;
};

// What a newly registered user learns of the registry: the welcome's user count,
// every channel with its member count, and every user by channel.
std::vector<std::string> RegistryAsSeenByANewcomer(TStressDaemon& daemon) {
    auto observer = daemon.Connect(LoopbackAddress(kChatters));
    SendRegistration(*observer, "observer");
    std::vector<std::string> seen;
    for (const auto& line : observer->ReadUntil(" 376 ")) {
        if (line.find(" 251 ") != std::string::npos)
            seen.push_back(line);
    }
    observer->Send("LIST");
    for (const auto& line : observer->ReadUntil(" 323 "))
        seen.push_back(line);
    observer->Send("NAMES");
    for (const auto& line : observer->ReadUntil(" :End of /Names list"))
        seen.push_back(line);
    observer->Send("QUIT");
    observer->WaitClosed();
    return seen;
}

TEST(ConnectionChurn, AThousandDroppedConnectionsLeaveNoTraceWhileOthersChat) {
    TDaemonSettings settings;
    settings.Port = kPort;
    TStressDaemon daemon(settings);
    TChatRoom room(daemon);
    const auto registryBefore = RegistryAsSeenByANewcomer(daemon);
    const TProcessFigures idle = daemon.IdleFigures(kChatters + 1);

    const auto deadline = Clock::now() + 150s;
    std::atomic<int> next{0};
    std::atomic<int> churnWorkersLeft{kChurnWorkers};
    std::vector<std::thread> workers;
    for (int w = 0; w < kChurnWorkers; ++w) {
        workers.emplace_back([&, w] {
            std::mt19937 random(12 + w);
            for (int index; Clock::now() < deadline && (index = next++) < kChurnConnections;) {
                ChurnOnce(daemon, LoopbackAddress(kFirstChurnAddress + index),
                          static_cast<TDrop>(random() % kDropWays), index);
            }
            --churnWorkersLeft;
        });
    }
    int rounds = 0;
    Clock::duration slowest{};
    for (; churnWorkersLeft > 0 && Clock::now() < deadline; ++rounds) {
        slowest = std::max(slowest, room.Talk(rounds));
        std::this_thread::sleep_for(10ms);
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(next.load(), kChurnConnections + kChurnWorkers) << "the churn did not finish in time";

    const TProcessFigures after = daemon.FiguresBackAt(idle);
    std::printf(
        "churn: %d connections, %d chat rounds (slowest %lld ms); idle %d threads, %d "
        "descriptors, %ld kB; after %d threads, %d descriptors, %ld kB\n",
        kChurnConnections, rounds,
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count()),
        idle.Threads, idle.Descriptors, idle.ResidentKb, after.Threads, after.Descriptors,
        after.ResidentKb);
    EXPECT_EQ(after.Threads, idle.Threads);
    EXPECT_EQ(after.Descriptors, idle.Descriptors);
    EXPECT_LT(after.ResidentKb, idle.ResidentKb + TStressDaemon::kResidentMarginKb);
    EXPECT_EQ(RegistryAsSeenByANewcomer(daemon), registryBefore);
    EXPECT_GT(rounds, 0);
    room.Talk(rounds);  // the chat still works
}

TEST(ConnectionChurn, ACrowdThatLeavesAtOnceIsJoinedWithoutWaitingForANewcomer) {
    TDaemonSettings settings;
    settings.Port = kCrowdPort;
    TStressDaemon daemon(settings);
    auto first = daemon.Connect(LoopbackAddress(0));
    SendRegistration(*first, "first");
    first->ReadUntil(" 376 ");
    const TProcessFigures idle = daemon.IdleFigures(1);

    // Connected one after the other, each accepted (a socket and its wake-up
    // descriptor) before the next: faster than the listener accepts, they would
    // overflow its short queue, and this machine's network stack can then lose a
    // connection that its client believes open.
    constexpr int kCrowd = 1000;
    std::vector<std::unique_ptr<TTestClient>> crowd;
    while (crowd.size() < kCrowd) {
        crowd.push_back(
            daemon.Connect(LoopbackAddress(kFirstChurnAddress + static_cast<int>(crowd.size()))));
        ASSERT_TRUE(crowd.back()) << "connection " << crowd.size();
        // One reading decides: a lookup's own socket may come and go between two.
        const int accepted = idle.Descriptors + 2 * static_cast<int>(crowd.size());
        int descriptors = daemon.Descriptors();
        for (const auto deadline = Clock::now() + 10s;
             descriptors < accepted && Clock::now() < deadline;) {
            std::this_thread::sleep_for(1ms);
            descriptors = daemon.Descriptors();
        }
        ASSERT_GE(descriptors, accepted) << "connection " << crowd.size();
    }
    const TProcessFigures served = daemon.Figures();
    crowd.clear();

    const TProcessFigures after = daemon.FiguresBackAt(idle);
    std::printf(
        "crowd: idle %d threads, %ld kB; %d connected %d threads, %ld kB; after %d "
        "threads, %ld kB\n",
        idle.Threads, idle.ResidentKb, kCrowd, served.Threads, served.ResidentKb, after.Threads,
        after.ResidentKb);
    EXPECT_EQ(after.Threads, idle.Threads);
    EXPECT_EQ(after.Descriptors, idle.Descriptors);
    EXPECT_LT(after.ResidentKb, idle.ResidentKb + TStressDaemon::kResidentMarginKb);
    first->Send("PING");
    EXPECT_FALSE(first->ReadUntil(" PONG ").empty()) << "the first connection still works";
}

}  // namespace
