// SIGTERM while a hundred clients chat in one channel: the daemon exits 0 within a
// second, every client's connection is closed, and no client hears of another one
// leaving (no QUIT line, no closing error).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/stress/StressDaemon.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kPort = 18104;
constexpr int kClients = 100;
constexpr int kTalkers = 10;

TEST(StopUnderLoad, SigtermWithAHundredClientsChattingExitsAtOnceAndSaysNothing) {
    TDaemonSettings settings;
    settings.Port = kPort;
    settings.MaxConnection = kClients;
    TStressDaemon daemon(settings);
    auto clients = RegisterClients(daemon, 0, kClients, "u", "#busy");
    ASSERT_EQ(static_cast<int>(clients.size()), kClients);

    // Ten of them talk (one line each 5 ms, until their connection closes or 30 s have
    // passed); every client reads all the time, noting what it heard after the stop.
    std::atomic<bool> stopSent{false};
    std::atomic<int> linesBeforeStop{0};
    std::atomic<int> linesAfterStop{0};
    std::atomic<int> closed{0};
    std::vector<std::string> leavingLines;
    std::mutex leavingLock;
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            auto& client = *clients[i];
            const auto deadline = Clock::now() + 30s;
            while (Clock::now() < deadline) {
                const auto line = client.ReadLine(100);
                if (line) {
                    ++(stopSent ? linesAfterStop : linesBeforeStop);
                    if (line->find(" QUIT ") != std::string::npos ||
                        line->rfind("ERROR ", 0) == 0) {
                        std::lock_guard guard(leavingLock);
                        leavingLines.push_back(*line);
                    }
                } else if (client.WaitClosed(0)) {
                    ++closed;
                    return;
                }
            }
        });
    }
    for (int t = 0; t < kTalkers; ++t) {
        // Sends never wait long: a send that cannot go out within 100 ms gives up.
        const timeval sendTimeout{0, 100000};
        setsockopt(clients[t]->Fd(), SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
        threads.emplace_back([&, t] {
            const auto deadline = Clock::now() + 30s;
            for (int n = 0; closed < kClients && Clock::now() < deadline; ++n) {
                clients[t]->Send("PRIVMSG #busy :talk " + std::to_string(n));
                std::this_thread::sleep_for(5ms);
            }
        });
    }
    std::this_thread::sleep_for(1s);  // the chat is in full swing

    const auto signalled = Clock::now();
    stopSent = true;
    daemon.Process().Signal(SIGTERM);
    const auto exitCode = daemon.Process().Wait(5000);
    const auto exited = Clock::now() - signalled;
    for (auto& thread : threads)
        thread.join();
    std::printf(
        "stop: exit %d after %lld ms; %d of %d connections closed; %d lines heard before "
        "the signal, %d after\n",
        exitCode.value_or(-999),
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(exited).count()),
        closed.load(), kClients, linesBeforeStop.load(), linesAfterStop.load());
    EXPECT_GT(linesBeforeStop, kClients) << "there was no chat to stop";
    EXPECT_EQ(exitCode, 0);
    EXPECT_LT(exited, 1s);
    EXPECT_EQ(closed, kClients);
    EXPECT_TRUE(leavingLines.empty())
        << leavingLines.size() << " lines, the first " << leavingLines.front();
}

}  // namespace
