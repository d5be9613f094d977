// The service program under a real systemd, as an operator on a Debian machine meets
// it: installed in /opt/tavo of a throw-away container that boots systemd, it installs
// itself as Service1, starts and serves with the ini file's port and MOTD, pauses and
// continues, stops, fails on a port in use, and uninstalls without a trace; its
// journal holds a notice for each step (UTF-8) and the failure as an error.
// Skipped where the container cannot be booted (not root, no systemd-nspawn or
// overlayfs); needs root and systemd-container (Debian) otherwise.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/TextEncoding.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestClient.h"
#include "tests/system/SystemContainer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kPort = 16667;
const std::string kServing = "Serving IRC on port 16667";
const std::string kPaused = "Paused (still serving IRC on port 16667)";
const std::string kMotdLine = "コンテナの中のサーバーです。";

// The journal's texts (UTF-8) of the service's entries.
const std::string kStarted =
    "サービスを開始しました。サーバー SystemTestServer がポート 16667 で接続を受け付けています。";
const std::string kPausedEntry = "サービスを一時停止しました。接続と待ち受けはそのまま続きます。";
const std::string kContinuedEntry = "サービスを再開しました。";
const std::string kStopped = "サービスを停止しました。接続 1 件を終了しました。";
const std::string kPortInUse =
    "サービス失敗 開始: ポート 16667 はほかのプログラムが使っています (Address already in use)";

std::string Cp932(const std::string& utf8) {
    return platform::Utf8ToCp932(utf8).value();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The folder an operator installs: the program, its ini file and its MOTD.
void PrepareInstallFolder(const fs::path& folder) {
    fs::copy_file(TAVO_DAEMON_PATH, folder / "TavoServerDaemon");
    WriteFile(folder / "TavoServerDaemon.Ini",
              "[Global]\r\nServerName=SystemTestServer\r\nPort=" + std::to_string(kPort) + "\r\n");
    WriteFile(folder / "MOTD.txt", Cp932(kMotdLine) + "\r\n");
}

class ServiceUnderSystemdTest : public ::testing::Test {
  protected:
    // A failure shows what the service and the container wrote.
    void TearDown() override {
        if (HasFailure() && container && container->Booted()) {
            std::printf("the service's journal:\n%s\nthe system's failed units:\n%s",
                        Run({"journalctl", "-u", "Service1", "--no-hostname"}).Output.c_str(),
                        Run({"systemctl", "--failed", "--no-legend"}).Output.c_str());
        }
    }

    TCommandResult Run(const std::vector<std::string>& command) const {
        return container->Run(command);
    }

    // Service1's properties `names` ("A,B").
    std::map<std::string, std::string> Unit(const std::string& names) const {
        const TCommandResult shown = Run({"systemctl", "show", "Service1", "-p", names});
        std::map<std::string, std::string> values;
        std::istringstream lines(shown.Output);
        for (std::string line; std::getline(lines, line);) {
            if (const std::size_t equals = line.find('='); equals != std::string::npos)
                values[line.substr(0, equals)] = line.substr(equals + 1);
        }
        return values;
    }

    // Waits (15 s at most) until the service's status line is `status`; answers the last.
    std::string WaitForStatus(const std::string& status) const {
        const auto deadline = Clock::now() + 15s;
        std::string text;
        while ((text = Unit("StatusText")["StatusText"]) != status && Clock::now() < deadline)
            std::this_thread::sleep_for(50ms);
        return text;
    }

    // Waits (20 s at most) until `journalctl -u Service1` with `options` shows the
    // entry `text`; answers the journal's texts as read last.
    std::string WaitForJournal(const std::string& text,
                               const std::vector<std::string>& options = {}) const {
        std::vector<std::string> command{"journalctl", "-u", "Service1", "-o", "cat"};
        command.insert(command.end(), options.begin(), options.end());
        const auto deadline = Clock::now() + 20s;
        std::string journal;
        while ((journal = Run(command).Output).find(text + "\n") == std::string::npos &&
               Clock::now() < deadline)
            std::this_thread::sleep_for(100ms);
        return journal;
    }

    TTempFolder install;
    std::unique_ptr<TSystemContainer> container;
};

TEST_F(ServiceUnderSystemdTest, InstallsServesPausesStopsFailsAndUninstallsUnderSystemd) {
    if (const auto why = TSystemContainer::CannotBootHere())
        GTEST_SKIP() << "no systemd to boot: " << *why;
    const auto begin = Clock::now();
    PrepareInstallFolder(install.Path());
    container = std::make_unique<TSystemContainer>(install.Path());
    if (container->CannotBoot())
        GTEST_SKIP() << "systemd cannot be booted here: " << container->Why();
    ASSERT_TRUE(container->Booted()) << container->Why();
    std::printf("the container booted in %lld ms\n",
                static_cast<long long>((Clock::now() - begin) / 1ms));

    // -install writes the unit, reloads systemd and enables the unit.
    const TCommandResult installed = Run({"/opt/tavo/TavoServerDaemon", "-install"});
    ASSERT_EQ(installed.Status, 0) << installed.Output << installed.Errors;
    EXPECT_EQ(installed.Output, "サービスを登録しました。\n");
    EXPECT_EQ(Run({"test", "-f", "/etc/systemd/system/Service1.service"}).Status, 0);
    EXPECT_EQ(Run({"systemctl", "is-enabled", "Service1"}).Output, "enabled\n");
    EXPECT_EQ(
        Run({"test", "-L", "/etc/systemd/system/multi-user.target.wants/Service1.service"}).Status,
        0);

    // A start reaches active (the program said it is ready) with its status.
    const TCommandResult start = Run({"systemctl", "start", "Service1"});
    ASSERT_EQ(start.Status, 0) << start.Errors;
    auto unit = Unit("ActiveState,SubState,StatusText");
    EXPECT_EQ(unit["ActiveState"], "active");
    EXPECT_EQ(unit["SubState"], "running");
    EXPECT_EQ(unit["StatusText"], kServing);
    EXPECT_NE(WaitForJournal(kStarted, {"-p", "notice"}).find(kStarted), std::string::npos);

    // A client on the ini's port gets the MOTD of MOTD.txt.
    std::unique_ptr<TTestClient> client;
    std::vector<std::string> welcome;
    container->InNetwork([&] {
        client = std::make_unique<TTestClient>(kPort, "127.0.0.2");
        client->Send("NICK alice");
        client->Send("USER alice host server :Alice");
        welcome = client->ReadUntil(" 376 ");
    });
    ASSERT_FALSE(welcome.empty());
    EXPECT_EQ(welcome.front().rfind(":SystemTestServer 001 alice ", 0), 0u) << welcome.front();
    bool motdSent = false;
    for (const std::string& line : welcome)
        motdSent = motdSent ||
                   line.find(" 372 alice :- " + Cp932(kMotdLine) + "\r\n") != std::string::npos;
    EXPECT_TRUE(motdSent) << "the MOTD line of MOTD.txt did not come";

    // Pause and continue leave the unit active, write their notices and show in the status.
    ASSERT_EQ(Run({"systemctl", "kill", "-s", "SIGUSR1", "Service1"}).Status, 0);
    EXPECT_NE(WaitForJournal(kPausedEntry, {"-p", "notice"}).find(kPausedEntry), std::string::npos);
    EXPECT_EQ(WaitForStatus(kPaused), kPaused);
    EXPECT_EQ(Unit("ActiveState")["ActiveState"], "active");
    client->Send("PING :still");
    EXPECT_FALSE(client->ReadUntil("PONG").empty()) << "a paused service still serves";
    ASSERT_EQ(Run({"systemctl", "kill", "-s", "SIGUSR2", "Service1"}).Status, 0);
    EXPECT_NE(WaitForJournal(kContinuedEntry, {"-p", "notice"}).find(kContinuedEntry),
              std::string::npos);
    EXPECT_EQ(WaitForStatus(kServing), kServing);
    EXPECT_EQ(Unit("ActiveState")["ActiveState"], "active");

    // A stop ends the connection and the program, which exits with status 0.
    ASSERT_EQ(Run({"systemctl", "stop", "Service1"}).Status, 0);
    unit = Unit("ActiveState,Result,ExecMainStatus,ExecMainCode,MainPID");
    EXPECT_EQ(unit["ActiveState"], "inactive");
    EXPECT_EQ(unit["Result"], "success");
    EXPECT_EQ(unit["ExecMainCode"], "1") << "the program exited, no signal ended it";
    EXPECT_EQ(unit["ExecMainStatus"], "0");
    EXPECT_EQ(unit["MainPID"], "0");
    EXPECT_TRUE(client->WaitClosed(5000));
    EXPECT_NE(WaitForJournal(kStopped, {"-p", "notice"}).find(kStopped), std::string::npos);

    // A start on a port in use fails, leaves the unit failed and an error in the journal.
    int taken = -1;
    container->InNetwork([&] {
        taken = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kPort);
        const int on = 1;
        setsockopt(taken, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(taken, 1) != 0)
            throw std::runtime_error("cannot take the port in the container");
    });
    EXPECT_NE(Run({"systemctl", "start", "Service1"}).Status, 0);
    unit = Unit("ActiveState,Result,ExecMainStatus");
    EXPECT_EQ(unit["ActiveState"], "failed");
    EXPECT_EQ(unit["ExecMainStatus"], "1");
    EXPECT_NE(WaitForJournal(kPortInUse, {"-p", "err"}).find(kPortInUse), std::string::npos);
    close(taken);

    // Started again on the freed port, the service runs until -uninstall, which leaves
    // no unit, no link and no process.
    const TCommandResult restart = Run({"systemctl", "start", "Service1"});
    ASSERT_EQ(restart.Status, 0) << restart.Errors;
    const TCommandResult uninstalled = Run({"/opt/tavo/TavoServerDaemon", "-uninstall"});
    EXPECT_EQ(uninstalled.Status, 0) << uninstalled.Output << uninstalled.Errors;
    EXPECT_EQ(uninstalled.Output, "サービスの登録を解除しました。\n");
    EXPECT_NE(Run({"test", "-e", "/etc/systemd/system/Service1.service"}).Status, 0);
    EXPECT_NE(
        Run({"test", "-L", "/etc/systemd/system/multi-user.target.wants/Service1.service"}).Status,
        0);
    EXPECT_EQ(Unit("LoadState")["LoadState"], "not-found");
    EXPECT_EQ(Run({"systemctl", "list-units", "--all", "--no-legend", "Service1.service"}).Output,
              "");
    EXPECT_EQ(Run({"pgrep", "-f", "/opt/tavo/TavoServerDaemon"}).Status, 1)
        << "a service program still runs";

    std::printf("the whole run took %lld ms\n",
                static_cast<long long>((Clock::now() - begin) / 1ms));
    std::printf(
        "the service's journal:\n%s",
        Run({"journalctl", "-u", "Service1", "-o", "short-iso", "--no-hostname"}).Output.c_str());
}

}  // namespace
