// Two real IRC clients (irc_conversation.py, on Debian's python3-irc library) talk
// through the real service program: a copy of TavoServerDaemon in a temporary folder,
// with its own ini file choosing a free port, stopped with SIGTERM at the end.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const kPython = "/usr/bin/python3";

// A folder of its own under the system's temporary folder, removed with its content.
class TTempFolder {
  public:
    TTempFolder() {
        std::string pattern = (fs::temp_directory_path() / "tavo-irc-clients-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~TTempFolder() {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

// A child process; killed and reaped on destruction if it is still running.
class TChildProcess {
  public:
    explicit TChildProcess(const std::vector<std::string>& argv) {
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], nullptr, nullptr, args.data(), environ) != 0)
            pid_ = -1;
    }
    ~TChildProcess() {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) const { kill(pid_, signal); }

    // The wait status once the process has ended within `timeout`, else nothing.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        do {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return status;
            }
            std::this_thread::sleep_for(20ms);
        } while (std::chrono::steady_clock::now() < deadline);
        return std::nullopt;
    }

  private:
    pid_t pid_ = -1;
};

// A TCP port that nothing listens on right now.
uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

bool AcceptsConnections(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

bool WaitUntilListening(uint16_t port, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (AcceptsConnections(port))
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

struct TCommandResult {
    int Status = -1;  // wait status
    std::string Output;
};

// Runs a shell command, collecting its standard output and standard error.
TCommandResult RunCommand(const std::string& command) {
    TCommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> chunk{};
    while (std::fgets(chunk.data(), chunk.size(), pipe) != nullptr)
        result.Output += chunk.data();
    result.Status = pclose(pipe);
    return result;
}

bool PythonIrcAvailable() {
    return fs::exists(kPython) &&
           RunCommand(std::string(kPython) + " -c 'import irc.client'").Status == 0;
}

TEST(IrcClientsTest, TwoRealClientsConverseThroughTheServiceProgram) {
    if (!PythonIrcAvailable())
        GTEST_SKIP() << kPython << " with the irc module is missing";

    TTempFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    const fs::path daemon = folder.Path() / "TavoServerDaemon";
    fs::copy_file(TAVO_DAEMON_PATH, daemon);
    const uint16_t port = FreePort();
    ASSERT_NE(port, 0);
    std::ofstream(folder.Path() / "TavoServerDaemon.Ini") << "[Global]\nPort=" << port << "\n";

    TChildProcess server({daemon.string()});
    ASSERT_TRUE(server.Started());
    ASSERT_TRUE(WaitUntilListening(port, 10s));

    const std::string script =
        std::string(TAVO_SOURCE_DIR) + "/tests/integration/irc_conversation.py";
    const TCommandResult conversation = RunCommand("timeout 120 " + std::string(kPython) + " " +
                                                   script + " " + std::to_string(port));
    EXPECT_TRUE(WIFEXITED(conversation.Status) && WEXITSTATUS(conversation.Status) == 0)
        << conversation.Output;
    EXPECT_EQ(conversation.Output, "conversation ok\n");

    server.Signal(SIGTERM);
    const std::optional<int> status = server.WaitForExit(10s);
    ASSERT_TRUE(status.has_value()) << "the server did not stop on SIGTERM";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
}

}  // namespace
