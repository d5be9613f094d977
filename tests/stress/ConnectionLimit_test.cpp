// MaxConnection 10 and fifty clients connecting at once: exactly ten are welcomed
// and keep working, the forty others get the over-limit closing error, and nothing
// is left behind once they have gone.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "JapaneseTexts.h"
#include "tests/stress/StressDaemon.h"

namespace {

constexpr uint16_t kPort = 18103;
constexpr int kMaxConnection = 10;
constexpr int kClients = 50;

std::string OverLimitError(const std::string& nick, const std::string& address) {
    return "ERROR :ClosingLink: " + nick + "[~" + nick + "@" + address + "]" +
           std::string(Texts::RefuseOverLimit) + "\r\n";
}

TEST(ConnectionLimit, OfFiftyConnectingAtOnceTheFirstTenAreServedAndTheOthersRefused) {
    TDaemonSettings settings;
    settings.Port = kPort;
    settings.MaxConnection = kMaxConnection;
    TStressDaemon daemon(settings);
    const TProcessFigures idle = daemon.IdleFigures(kClients);

    std::vector<std::unique_ptr<TTestClient>> clients(kClients);
    std::vector<std::string> firstLines(kClients);
    std::vector<std::thread> connecting;
    for (int i = 0; i < kClients; ++i) {
        connecting.emplace_back([&, i] {
            clients[i] = daemon.Connect(LoopbackAddress(1 + i));
            if (!clients[i])
                return;
            SendRegistration(*clients[i], "u" + std::to_string(i));
            firstLines[i] = clients[i]->ReadLine().value_or("");
        });
    }
    for (auto& thread : connecting)
        thread.join();

    std::vector<int> welcomed;
    int refused = 0;
    for (int i = 0; i < kClients; ++i) {
        const std::string nick = "u" + std::to_string(i);
        if (firstLines[i].find(" 001 " + nick + " ") != std::string::npos) {
            welcomed.push_back(i);
        } else if (firstLines[i] == OverLimitError(nick, LoopbackAddress(1 + i))) {
            ++refused;
            EXPECT_TRUE(clients[i]->WaitClosed()) << nick << " was refused but not closed";
        } else {
            ADD_FAILURE() << nick << " got \"" << firstLines[i] << "\"";
        }
    }
    EXPECT_EQ(static_cast<int>(welcomed.size()), kMaxConnection);
    EXPECT_EQ(refused, kClients - kMaxConnection);

    // The ten keep working: each one's message reaches the nine others.
    for (int i : welcomed) {
        clients[i]->ReadUntil(" 376 ");
        clients[i]->Send("JOIN #ten");
        clients[i]->ReadUntil(" 366 ");
    }
    for (int i : welcomed) {
        const std::string text = "from u" + std::to_string(i);
        clients[i]->Send("PRIVMSG #ten :" + text);
        for (int other : welcomed) {
            if (other != i)
                clients[other]->ReadUntil(text);
        }
    }

    clients.clear();
    const TProcessFigures after = daemon.FiguresBackAt(idle);
    EXPECT_EQ(after.Threads, idle.Threads);
    EXPECT_EQ(after.Descriptors, idle.Descriptors);
    EXPECT_LT(after.ResidentKb, idle.ResidentKb + TStressDaemon::kResidentMarginKb);
}

}  // namespace
