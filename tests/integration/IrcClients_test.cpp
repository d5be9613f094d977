// Two real IRC clients (irc_conversation.py, on Debian's python3-irc library) talk
// through the real service program: a copy of TavoServerDaemon in a temporary folder
// with its own ini file, stopped with SIGTERM at the end.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <string>

#include "tests/support/DaemonCopy.h"

namespace {

constexpr uint16_t kPort = 16420;

TEST(IrcClientsTest, TwoRealClientsConverseThroughTheServiceProgram) {
    if (!PythonIrcAvailable())
        GTEST_SKIP() << kPython << " with the irc module is missing";

    const TDaemonCopy copy(kPort);
    const auto server = copy.Start();
    ASSERT_TRUE(copy.ReceiveNotification().value_or("").starts_with("READY=1"))
        << copy.StandardError();

    const std::string script =
        std::string(TAVO_SOURCE_DIR) + "/tests/integration/irc_conversation.py";
    const TCommandResult conversation = RunCommand("timeout 120 " + std::string(kPython) + " " +
                                                   script + " " + std::to_string(kPort));
    EXPECT_TRUE(WIFEXITED(conversation.Status) && WEXITSTATUS(conversation.Status) == 0)
        << conversation.Output;
    EXPECT_EQ(conversation.Output, "conversation ok\n");

    server->Signal(SIGTERM);
    EXPECT_EQ(server->Wait(10000), 0) << "the server did not stop cleanly on SIGTERM";
}

}  // namespace
