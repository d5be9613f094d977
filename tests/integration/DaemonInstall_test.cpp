// Installing and removing the service from the command line, with the real program:
// the unit folder is a test folder, and systemctl a script that records its
// arguments and succeeds or fails (or is absent, or is the real one without a
// running systemd). The written unit passes systemd-analyze's checks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/DaemonCopy.h"

namespace {

namespace fs = std::filesystem;

const std::string kInstalled = "サービスを登録しました。\n";
const std::string kUninstalled = "サービスの登録を解除しました。\n";

std::string InstallFailed(const std::string& error) {
    return "\"" + error + "\" : サービス \"TavoServerDaemon\" の登録は失敗しました。\n";
}

std::string UninstallFailed(const std::string& error) {
    return "\"" + error + "\" : サービス \"TavoServerDaemon\" の登録解除に失敗しました。\n";
}

// The unit file for the program at `executable`, as a unit file names it, in `folder`.
std::string ExpectedUnit(const std::string& executable, const std::string& folder) {
    return "# Written when TavoServerDaemon was installed as a service.\n"
           "[Unit]\n"
           "Description=TavoServerDaemon\n"
           "After=network.target\n"
           "\n"
           "[Service]\n"
           "Type=notify\n"
           "ExecStart=" +
           executable +
           "\n"
           "TimeoutStartSec=5\n"
           "# No Restart=: a start that failed stays failed.\n"
           "SyslogIdentifier=Service1\n"
           "# A user of its own that may bind a port below 1024 and do nothing more.\n"
           "DynamicUser=yes\n"
           "AmbientCapabilities=CAP_NET_BIND_SERVICE\n"
           "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\n"
           "NoNewPrivileges=yes\n"
           "# The executable's folder, with the files the service reads beside it, stays\n"
           "# readable wherever it is; the rest of the home folders is hidden.\n"
           "ProtectHome=tmpfs\n"
           "BindReadOnlyPaths=" +
           folder +
           "\n"
           "ProtectSystem=strict\n"
           "PrivateTmp=yes\n"
           "PrivateDevices=yes\n"
           "PrivateMounts=yes\n"
           "ProtectKernelTunables=yes\n"
           "ProtectKernelModules=yes\n"
           "ProtectKernelLogs=yes\n"
           "ProtectControlGroups=yes\n"
           "ProtectClock=yes\n"
           "ProtectHostname=yes\n"
           "ProtectProc=invisible\n"
           "ProcSubset=pid\n"
           "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX\n"
           "RestrictNamespaces=yes\n"
           "RestrictRealtime=yes\n"
           "RestrictSUIDSGID=yes\n"
           "LockPersonality=yes\n"
           "MemoryDenyWriteExecute=yes\n"
           "SystemCallArchitectures=native\n"
           "SystemCallFilter=@system-service\n"
           "SystemCallFilter=~@privileged @resources\n"
           "SystemCallErrorNumber=EPERM\n"
           "UMask=0077\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

struct TRun {
    std::optional<int> Status;
    std::string Output;
    std::string Error;
};

// A copy of the program with a unit folder and a recording systemctl of its own.
class TInstallFixture {
  public:
    explicit TInstallFixture(const std::string& subfolder = "") : copy_(0, subfolder) {
        fs::create_directories(UnitFolder());
        std::ofstream(Systemctl()) << "#!/bin/sh\n"
                                      "echo \"$*\" >> \"$0.log\"\n"
                                      "exit $(cat \"$0.status\" 2>/dev/null || echo 0)\n";
        fs::permissions(Systemctl(), fs::perms::owner_all);
    }

    const TDaemonCopy& Copy() const { return copy_; }
    fs::path UnitFolder() const { return copy_.Folder() / "units"; }
    fs::path UnitFile() const { return UnitFolder() / "Service1.service"; }
    fs::path Systemctl() const { return copy_.Folder() / "systemctl"; }
    void SetSystemctlStatus(int status) const {
        std::ofstream(Systemctl().string() + ".status") << status << "\n";
    }
    std::string SystemctlCalls() const { return ReadWholeFile(Systemctl().string() + ".log"); }
    void ForgetSystemctlCalls() const { fs::remove(Systemctl().string() + ".log"); }

    // Runs the program with `args` to its end, with the recording systemctl.
    TRun Run(const std::vector<std::string>& args) const {
        return RunWithSystemctl(args, Systemctl().string());
    }
    // The same with another systemctl; nothing: the real one.
    TRun RunWithSystemctl(const std::vector<std::string>& args,
                          const std::optional<std::string>& systemctl) const {
        std::vector<std::string> environment{"TAVO_UNIT_DIR=" + UnitFolder().string()};
        if (systemctl)
            environment.push_back("TAVO_SYSTEMCTL=" + *systemctl);
        auto child = copy_.Start(args, environment);
        const std::optional<int> status = child->Wait(20000);
        return {status, copy_.StandardOutput(), copy_.StandardError()};
    }

  private:
    TDaemonCopy copy_;
};

TEST(DaemonInstallTest, InstallSwitchInAnySpellingWritesAndEnablesTheUnit) {
    TInstallFixture fixture;
    const std::string program = fixture.Copy().Program().string();
    for (const std::string spelling : {"/install", "-INSTALL", "/Install", "-iNsTaLl"}) {
        SCOPED_TRACE(spelling);
        fs::remove(fixture.UnitFile());
        fixture.ForgetSystemctlCalls();
        const TRun run = fixture.Run({"other", spelling});
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Output, kInstalled);
        EXPECT_EQ(run.Error, "");
        EXPECT_EQ(ReadWholeFile(fixture.UnitFile()),
                  ExpectedUnit(program, fixture.Copy().Folder().string()));
        EXPECT_EQ(fixture.SystemctlCalls(), "daemon-reload\nenable Service1.service\n");
    }
}

TEST(DaemonInstallTest, InstallWithoutALeadingSwitchCharacterRunsTheService) {
    TInstallFixture fixture;
    std::ofstream(fixture.Copy().Folder() / "TavoServerDaemon.Ini") << "[Global]\nPort=16406\n";
    auto daemon = fixture.Copy().Start({"INSTALL", "install"});
    EXPECT_EQ(fixture.Copy().ReceiveNotification(), "READY=1\nSTATUS=Serving IRC on port 16406");
    daemon->Signal(SIGTERM);
    EXPECT_EQ(daemon->Wait(10000), 0);
    EXPECT_FALSE(fs::exists(fixture.UnitFile()));
    EXPECT_EQ(fixture.SystemctlCalls(), "");
}

TEST(DaemonInstallTest, SilentKeepsSuccessQuietButNotFailure) {
    TInstallFixture fixture;
    TRun run = fixture.Run({"/install", "-SILENT"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Output, "");
    EXPECT_TRUE(fs::exists(fixture.UnitFile()));

    fixture.ForgetSystemctlCalls();
    run = fixture.Run({"/Silent", "-uninstall"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Output, "");
    EXPECT_FALSE(fs::exists(fixture.UnitFile()));
    EXPECT_EQ(fixture.SystemctlCalls(),
              "stop Service1.service\ndisable Service1.service\ndaemon-reload\n");

    fixture.SetSystemctlStatus(3);
    run = fixture.Run({"-install", "/silent"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Output, "");
    EXPECT_EQ(run.Error,
              InstallFailed(fixture.Systemctl().string() + " daemon-reload exited with status 3"));
}

TEST(DaemonInstallTest, UninstallRemovesTheUnit) {
    TInstallFixture fixture;
    ASSERT_EQ(fixture.Run({"/install"}).Status, 0);
    fixture.ForgetSystemctlCalls();
    const TRun run = fixture.Run({"/UNINSTALL"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Output, kUninstalled);
    EXPECT_EQ(run.Error, "");
    EXPECT_FALSE(fs::exists(fixture.UnitFile()));
    EXPECT_EQ(fixture.SystemctlCalls(),
              "stop Service1.service\ndisable Service1.service\ndaemon-reload\n");
}

TEST(DaemonInstallTest, AFailingSystemctlFailsTheSwitchButTheUnitFileIsWritten) {
    TInstallFixture fixture;
    const std::string systemctl = fixture.Systemctl().string();
    fixture.SetSystemctlStatus(1);
    TRun run = fixture.Run({"/install"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Output, "");
    EXPECT_EQ(run.Error, InstallFailed(systemctl + " daemon-reload exited with status 1"));
    EXPECT_TRUE(fs::exists(fixture.UnitFile()));
    EXPECT_EQ(fixture.SystemctlCalls(), "daemon-reload\n") << "nothing is enabled after a failure";

    // Uninstall tries every step and removes the file, yet reports the first failure.
    fixture.ForgetSystemctlCalls();
    run = fixture.Run({"/uninstall"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Output, "");
    EXPECT_EQ(run.Error,
              UninstallFailed(systemctl + " stop Service1.service exited with status 1"));
    EXPECT_FALSE(fs::exists(fixture.UnitFile()));
    EXPECT_EQ(fixture.SystemctlCalls(),
              "stop Service1.service\ndisable Service1.service\ndaemon-reload\n");

    // Uninstalling what is not installed fails on the missing file.
    fixture.SetSystemctlStatus(0);
    run = fixture.Run({"/uninstall"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Error,
              UninstallFailed(fixture.UnitFile().string() + ": No such file or directory"));
}

TEST(DaemonInstallTest, AnAbsentSystemctlOrUnitFolderFailsTheSwitch) {
    TInstallFixture fixture;
    const std::string missing = (fixture.Copy().Folder() / "no-such-systemctl").string();
    TRun run = fixture.RunWithSystemctl({"/install"}, missing);
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Error,
              InstallFailed(missing + " daemon-reload could not run: No such file or directory"));
    EXPECT_TRUE(fs::exists(fixture.UnitFile()));

    run = fixture.RunWithSystemctl({"/uninstall"}, missing);
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Error,
              UninstallFailed(missing +
                              " stop Service1.service could not run: No such file or directory"));
    EXPECT_FALSE(fs::exists(fixture.UnitFile()));

    fs::remove_all(fixture.UnitFolder());
    run = fixture.Run({"/install"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Error,
              InstallFailed(fixture.UnitFile().string() + ".new: No such file or directory"));
    EXPECT_EQ(fixture.SystemctlCalls(), "") << "nothing to enable";
}

TEST(DaemonInstallTest, TheRealSystemctlWithoutARunningSystemdFailsAfterWritingTheUnit) {
    if (fs::exists("/run/systemd/system"))
        GTEST_SKIP() << "systemd runs here; the test does not touch the real service manager";
    TInstallFixture fixture;
    const TRun run = fixture.RunWithSystemctl({"/install"}, std::nullopt);
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(run.Error.ends_with(InstallFailed("systemctl daemon-reload exited with status 1")))
        << run.Error;
    EXPECT_TRUE(fs::exists(fixture.UnitFile()));
}

TEST(DaemonInstallTest, APathAUnitFileCannotCarryIsRefused) {
    for (const std::string folder : {"line\nbreak", "colon:name", "quote\"name"}) {
        SCOPED_TRACE(folder);
        TInstallFixture fixture(folder);
        const TRun run = fixture.Run({"/install"});
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Error, InstallFailed("a unit file cannot name the path " +
                                           fixture.Copy().Program().string()));
        EXPECT_FALSE(fs::exists(fixture.UnitFile()));
        EXPECT_EQ(fixture.SystemctlCalls(), "");
    }
}

// The output of a command and its exit status.
TRun RunCommand(const std::string& command) {
    TRun result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        result.Output.append(chunk, got);
    const int status = pclose(pipe);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// Installed from a folder whose name needs quoting and escaping in a unit file, the
// unit still names the real executable (systemd-analyze checks that it exists), and
// its sandbox rates "OK" or better.
TEST(DaemonInstallTest, TheUnitPassesSystemdAnalyze) {
    if (!fs::exists("/usr/bin/systemd-analyze"))
        GTEST_SKIP() << "systemd-analyze is not installed";
    TInstallFixture fixture("Tavo Server 100%");
    ASSERT_EQ(fixture.Run({"/install"}).Status, 0);
    const std::string folder = fixture.Copy().Folder().string();
    std::string escaped = folder;
    escaped.replace(escaped.find('%'), 1, "%%");
    EXPECT_EQ(ReadWholeFile(fixture.UnitFile()),
              ExpectedUnit("\"" + escaped + "/TavoServerDaemon\"", "\"" + escaped + "\""));

    const std::string unit = "'" + fixture.UnitFile().string() + "'";
    const TRun verify = RunCommand("systemd-analyze verify " + unit);
    EXPECT_EQ(verify.Status, 0) << verify.Output;
    EXPECT_EQ(verify.Output, "");

    const TRun security = RunCommand("systemd-analyze security --offline=yes " + unit);
    EXPECT_EQ(security.Status, 0) << security.Output;
    std::smatch rating;
    ASSERT_TRUE(std::regex_search(security.Output, rating,
                                  std::regex("Overall exposure level for Service1.service: "
                                             "([0-9.]+) ([A-Z]+)")))
        << security.Output;
    std::printf("systemd-analyze security: exposure %s %s\n", rating[1].str().c_str(),
                rating[2].str().c_str());
    EXPECT_TRUE(rating[2] == "OK" || rating[2] == "SAFE") << rating[0];
}

}  // namespace
