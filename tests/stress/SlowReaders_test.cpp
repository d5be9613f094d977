// Clients that stop reading, read slowly or flood, in a busy channel: the server
// ends each offender and no one else, and the others keep their latency. A client
// that reads at 64 KB/s keeps up with any one sender, however fast it sends.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/stress/StressDaemon.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kPort = 18102;
constexpr std::size_t kSlowReadBytesPerSecond = 64 * 1000;

// Lines of about 400 bytes, numbered.
std::string ChatLine(const std::string& channel, int number) {
    return "PRIVMSG " + channel + " :line " + std::to_string(number) + " " + std::string(380, 'x');
}

// A client socket's sends give up after 5 s instead of waiting for ever for a
// server that no longer reads them.
void LimitSendWait(TTestClient& client) {
    const timeval timeout{5, 0};
    setsockopt(client.Fd(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

// Reads `client`'s socket at no more than kSlowReadBytesPerSecond until `marker`
// arrives, the connection closes or `deadline` passes; answers whether the marker
// came and counts the lines that contain `counted`.
bool ReadSlowlyUntil(TTestClient& client, const std::string& marker, const std::string& counted,
                     Clock::time_point deadline, int& countedLines) {
    constexpr auto kStep = 100ms;
    constexpr std::size_t kBytesPerStep = kSlowReadBytesPerSecond / 10;
    std::string pending;
    std::vector<char> buffer(kBytesPerStep);
    while (Clock::now() < deadline) {
        const auto stepEnd = Clock::now() + kStep;
        pollfd fd{client.Fd(), POLLIN, 0};
        if (::poll(&fd, 1, 100) > 0) {
            const auto received = ::recv(client.Fd(), buffer.data(), buffer.size(), 0);
            if (received <= 0)
                return false;  // closed by the server
            pending.append(buffer.data(), static_cast<std::size_t>(received));
            for (std::size_t end; (end = pending.find("\r\n")) != std::string::npos;) {
                const std::string line = pending.substr(0, end);
                pending.erase(0, end + 2);
                if (line.find(marker) != std::string::npos)
                    return true;
                if (line.find(counted) != std::string::npos)
                    ++countedLines;
            }
        }
        std::this_thread::sleep_until(stepEnd);
    }
    return false;
}

// The nicks among `nicks` that the server still has, as ISON answers.
std::string StillPresent(TTestClient& asker, const std::string& nicks) {
    asker.Send("ISON " + nicks);
    const auto lines = asker.ReadUntil(" 303 ");
    const std::string& reply = lines.empty() ? std::string() : lines.back();
    const auto colon = reply.find(" :");
    return colon == std::string::npos ? "" : reply.substr(colon + 2, reply.size() - colon - 4);
}

struct TLatencies {
    std::mutex Lock;
    std::vector<Clock::duration> Samples;
};

TEST(SlowReaders, OffendersAreEndedAloneWhileTheOthersKeepTheirLatency) {
    TDaemonSettings settings;
    settings.Port = kPort;
    TStressDaemon daemon(settings);
    constexpr int kTalkers = 10;
    auto talkers = RegisterClients(daemon, 0, kTalkers, "talker", "#busy");
    auto others = RegisterClients(daemon, 10, 4, "other", "#busy");
    ASSERT_EQ(talkers.size(), static_cast<std::size_t>(kTalkers));
    ASSERT_EQ(others.size(), 4u);
    auto& prober = *others[0];
    auto& nonReader = *others[1];
    auto& slowReader = *others[2];
    auto& flooder = *others[3];
    const std::string offenders = "other1 other2 other3";
    const int smallBuffer = 16 * 1024;
    for (auto* reluctant : {&nonReader, &slowReader})
        setsockopt(reluctant->Fd(), SOL_SOCKET, SO_RCVBUF, &smallBuffer, sizeof smallBuffer);

    // Each talker says a line each 20 ms (20 KB/s, 200 KB/s to each member together)
    // and reads all the time; the prober says a line each 20 ms with the time it was
    // sent, whose delay every talker notes, and asks every half second whether the
    // offenders are still there; the slow reader reads at 64 KB/s; the non-reader
    // reads nothing. All this goes on until two seconds after the offenders have
    // gone, or for 40 s at the most.
    const auto start = Clock::now();
    std::atomic<bool> offendersGone{false};
    std::atomic<bool> stop{false};
    TLatencies latencies;
    std::atomic<int> probesSent{0};
    std::vector<std::thread> threads;
    for (auto& talker : talkers) {
        LimitSendWait(*talker);
        threads.emplace_back([&, client = talker.get()] {
            for (int n = 0; !stop; ++n) {
                client->Send(ChatLine("#busy", n));
                std::this_thread::sleep_for(20ms);
            }
        });
        threads.emplace_back([&, client = talker.get()] {
            for (auto line = client->ReadLine(100); !stop || line; line = client->ReadLine(100)) {
                const auto at = line ? line->find(":probe ") : std::string::npos;
                if (at == std::string::npos)
                    continue;
                const Clock::time_point sent(Clock::duration(std::stoll(line->substr(at + 7))));
                std::lock_guard guard(latencies.Lock);
                latencies.Samples.push_back(Clock::now() - sent);
            }
        });
    }
    threads.emplace_back([&] {
        int ignored = 0;
        ReadSlowlyUntil(slowReader, "never said", "line", start + 40s, ignored);
    });
    threads.emplace_back([&] {
        for (int n = 0; !stop; ++n) {
            prober.Send("PRIVMSG #busy :probe " +
                        std::to_string(Clock::now().time_since_epoch().count()));
            ++probesSent;
            if (n % 25 == 0)
                prober.Send("ISON " + offenders);
            for (const auto next = Clock::now() + 20ms; Clock::now() < next;) {
                const auto line = prober.ReadLine(5);
                if (line && line->ends_with(" 303 :\r\n"))
                    offendersGone = true;
            }
        }
    });
    // The flooder sends more in one go than any burst may hold.
    flooder.SendRaw(ChatLine("#busy", 0) + "\r\n" + ChatLine("#busy", 1) + "\r\n");
    EXPECT_TRUE(flooder.WaitClosed()) << "the flooder was not ended";
    while (!offendersGone && Clock::now() < start + 38s)
        std::this_thread::sleep_for(50ms);
    const auto offendersEnded = Clock::now() - start;
    std::this_thread::sleep_for(2s);
    stop = true;
    for (auto& thread : threads)
        thread.join();

    prober.Drain(200);
    EXPECT_EQ(StillPresent(prober, offenders), "") << "an offender is still there";
    std::string talkerNicks;
    for (int i = 0; i < kTalkers; ++i)
        talkerNicks += (i ? " talker" : "talker") + std::to_string(i);
    EXPECT_EQ(StillPresent(prober, talkerNicks + " other0"), talkerNicks + " other0")
        << "a client that did nothing wrong was ended";

    std::sort(latencies.Samples.begin(), latencies.Samples.end());
    ASSERT_GE(latencies.Samples.size(), static_cast<std::size_t>(probesSent * kTalkers * 9 / 10))
        << "probes were lost";
    const auto percentile = [&](int p) {
        return std::chrono::duration_cast<std::chrono::microseconds>(
            latencies.Samples[latencies.Samples.size() * p / 100]);
    };
    std::printf(
        "busy channel: offenders ended after %lld ms; %d probes, latency p50 %lld us, "
        "p99 %lld us, max %lld us\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(offendersEnded).count()),
        probesSent.load(), static_cast<long long>(percentile(50).count()),
        static_cast<long long>(percentile(99).count()),
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::microseconds>(latencies.Samples.back())
                .count()));
    EXPECT_LT(percentile(99), 100ms);
}

TEST(SlowReaders, AReaderAt64KBPerSecondSurvivesAnyOneSender) {
    TDaemonSettings settings;
    settings.Port = kPort + 10;
    TStressDaemon daemon(settings);
    auto members = RegisterClients(daemon, 0, 3, "pair", "#pair");
    ASSERT_EQ(members.size(), 3u);
    auto& sender = *members[0];
    auto& reader = *members[1];
    auto& witness = *members[2];
    LimitSendWait(sender);

    // For 6 s the sender sends the reader a 600-byte message naming it fourteen
    // times, each followed by a PING whose answer it waits for: as fast as a client
    // can send without ever putting more than one burst's worth on the wire. Then
    // the witness says a last line. The reader, at 64 KB/s all along, is not ended
    // and hears that last line.
    std::string targets;
    for (int i = 0; i < 14; ++i)
        targets += "pair1 ";
    int sent = 0;
    std::thread sending([&] {
        for (const auto end = Clock::now() + 6s; Clock::now() < end; ++sent) {
            sender.SendRaw("PRIVMSG " + targets + ":line " + std::to_string(sent) + " " +
                           std::string(600, 'x') + "\r\nPING\r\n");
            std::optional<std::string> line;
            while ((line = sender.ReadLine()) && line->find(" PONG ") == std::string::npos) {
            }
            if (!line)
                break;  // ended
        }
        witness.Send("PRIVMSG pair1 :the end");
    });
    int received = 0;
    const bool reachedTheEnd =
        ReadSlowlyUntil(reader, ":the end", " :line ", Clock::now() + 90s, received);
    sending.join();
    witness.Drain(100);
    const std::string senderLeft = StillPresent(witness, "pair0").empty() ? "ended" : "still there";
    std::printf("one sender (%s): %d lines sent, %d read at 64 KB/s\n", senderLeft.c_str(), sent,
                received);
    EXPECT_TRUE(reachedTheEnd) << "the slow reader was ended or fell far behind";
    EXPECT_EQ(StillPresent(witness, "pair1"), "pair1");
    EXPECT_GT(received, 0);
}

}  // namespace
