// The service program end to end: a copy of the built binary with no ini file and
// no MOTD.txt beside it serves on port 6667 with its defaults, and SIGTERM ends it
// cleanly after closing every client.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "JapaneseTexts.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Replies.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestClient.h"

namespace {

// Connects once the daemon listens (it needs a moment to start).
std::unique_ptr<TTestClient> ConnectWhenListening(uint16_t port, const std::string& address) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        try {
            return std::make_unique<TTestClient>(port, address);
        } catch (const std::runtime_error&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    return nullptr;
}

TEST(Daemon, ServesOnItsDefaultsAndStopsCleanlyOnSigterm) {
    TTempFolder folder;
    const auto program = folder.Path() / "TavoServerDaemon";
    std::filesystem::copy_file(TAVO_DAEMON_PATH, program);
    TChildProcess daemon(program);

    auto alice = ConnectWhenListening(6667, "127.0.0.2");
    ASSERT_TRUE(alice) << "the daemon does not listen on 6667";
    auto bob = ConnectWhenListening(6667, "127.0.0.3");
    ASSERT_TRUE(bob);
    auto carol = ConnectWhenListening(6667, "127.0.0.4");
    ASSERT_TRUE(carol);
    alice->Send("NICK alice");
    alice->Send("USER alice host server :Alice");
    const auto burst = alice->ReadUntil(" 376 ");
    ASSERT_GE(burst.size(), 10u);
    EXPECT_EQ(burst[0], ":TavoServer 001 alice :" + std::string(Texts::Welcome001) +
                            "alice!~alice@127.0.0.2\r\n");
    EXPECT_EQ(burst[1], ":TavoServer 002 alice :" + std::string(Texts::Welcome002Head) +
                            "TavoServer" + std::string(Texts::Welcome002Tail) +
                            "TavoServerDaemon\r\n");
    EXPECT_EQ(burst[burst.size() - 3],
              ":TavoServer 372 alice :- " + std::string(Texts::MotdDefaultLine1) + "\r\n");
    EXPECT_EQ(burst[burst.size() - 2],
              ":TavoServer 372 alice :- " + std::string(Texts::MotdDefaultLine2) + "\r\n");

    carol->Register("carol");
    JoinInTurn({alice.get(), carol.get()}, "#a");

    daemon.Signal(SIGTERM);
    EXPECT_EQ(daemon.Wait(10000), 0);
    for (auto* client : {alice.get(), bob.get(), carol.get()}) {
        EXPECT_TRUE(client->WaitClosed(1000));
        EXPECT_FALSE(client->ReadLine(100)) << "the stop sends no message, not even a QUIT";
    }
}

}  // namespace
