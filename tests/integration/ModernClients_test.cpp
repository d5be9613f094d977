// Everyday IRC clients against the service program set to speak as RFC 2812 servers do
// and to send its own texts in UTF-8 (ClientProfile=Modern, TextEncoding=UTF-8): irssi
// and WeeChat as Debian ships them, with their default settings (modern_clients.py),
// and the python3-irc conversation decoding UTF-8 (irc_conversation.py --modern).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "JapaneseTexts.h"
#include "tests/support/DaemonCopy.h"

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kClientsPort = 16421;
constexpr uint16_t kConversationPort = 16422;
const std::vector<std::string> kModernSettings = {"ClientProfile=Modern", "TextEncoding=UTF-8"};

// The server's own texts, as a client that decodes UTF-8 shows them.
const std::string kWelcome(JapaneseTexts::Utf8.Welcome001);
const std::string kMotdLine1(JapaneseTexts::Utf8.MotdDefaultLine1);
const std::string kMotdLine2(JapaneseTexts::Utf8.MotdDefaultLine2);

bool ExitedZero(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

std::string Script(const std::string& name) {
    return std::string(TAVO_SOURCE_DIR) + "/tests/integration/" + name;
}

// A copy of the service program with the two settings, started at once (and stopped at
// the latest when the object goes away).
class TModernDaemon {
  public:
    explicit TModernDaemon(uint16_t port)
        : copy_(port, "", kModernSettings), server_(copy_.Start()) {}

    bool Ready() const { return copy_.ReceiveNotification().value_or("").starts_with("READY=1"); }
    std::string StandardError() const { return copy_.StandardError(); }
    // Stops the program with SIGTERM; answers its exit status, nothing when it runs on.
    std::optional<int> Stop() {
        server_->Signal(SIGTERM);
        return server_->Wait(10000);
    }

  private:
    TDaemonCopy copy_;
    std::unique_ptr<TChildProcess> server_;
};

TEST(ModernClientsTest, IrssiAndWeeChatWithTheirDefaultsShowTheServersRepliesAndTexts) {
    for (const char* program : {kPython, "/usr/bin/irssi", "/usr/bin/weechat-headless"}) {
        if (!fs::exists(program))
            GTEST_SKIP() << program << " is missing";
    }
    TModernDaemon server(kClientsPort);
    ASSERT_TRUE(server.Ready()) << server.StandardError();

    const TCommandResult run =
        RunCommand("timeout 150 " + std::string(kPython) + " " + Script("modern_clients.py") + " " +
                   std::to_string(kClientsPort) + " --welcome " + Quoted(kWelcome) + " --motd " +
                   Quoted(kMotdLine1) + " --motd " + Quoted(kMotdLine2));

    // One line a check: "ok <client>: <check>" or "FAILED <client>: <check>: why".
    std::istringstream lines(run.Output);
    std::vector<std::string> passed;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("FAILED "))
            ADD_FAILURE() << line;
        else if (line.starts_with("ok "))
            passed.push_back(line.substr(3));
    }
    std::vector<std::string> expected = {"peer: registration and join"};
    for (const std::string client : {"irssi", "weechat"}) {
        for (const std::string check :
             {"registration", "welcome", "motd", "pong token", "lag", "join", "channel sync",
              "names", "away 306", "away 305", "part reason", "no errors", "shown text is UTF-8"}) {
            // Only irssi synchronises a channel, and tells when it is done.
            if (check != "channel sync" || client == "irssi")
                expected.push_back(client + ": " + check);
        }
    }
    std::vector<std::string> missing;
    for (const std::string& check : expected) {
        if (std::find(passed.begin(), passed.end(), check) == passed.end())
            missing.push_back(check);
    }
    EXPECT_TRUE(missing.empty()) << "checks that did not pass: " << testing::PrintToString(missing);
    EXPECT_TRUE(ExitedZero(run.Status)) << run.Output;

    EXPECT_EQ(server.Stop(), 0) << "the server did not stop cleanly on SIGTERM";
}

TEST(ModernClientsTest, TwoPythonIrcClientsConverseInUtf8) {
    if (!PythonIrcAvailable())
        GTEST_SKIP() << kPython << " with the irc module is missing";
    TModernDaemon server(kConversationPort);
    ASSERT_TRUE(server.Ready()) << server.StandardError();

    const TCommandResult conversation =
        RunCommand("timeout 120 " + std::string(kPython) + " " + Script("irc_conversation.py") +
                   " --modern " + std::to_string(kConversationPort));
    EXPECT_TRUE(ExitedZero(conversation.Status)) << conversation.Output;
    EXPECT_EQ(conversation.Output, "conversation ok\n");

    EXPECT_EQ(server.Stop(), 0) << "the server did not stop cleanly on SIGTERM";
}

}  // namespace
