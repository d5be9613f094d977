#include "tests/system/SystemContainer.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr auto kBootTimeout = 30s;
constexpr auto kShutdownTimeout = 20s;

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/sbin:/usr/bin:/sbin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && access((fs::path(folder) / program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The parent and the name of process `pid`; nothing when it does not exist.
std::optional<std::pair<pid_t, std::string>> ParentAndName(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(file, stat))
        return std::nullopt;
    const std::size_t open = stat.find('(');
    const std::size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 4 > stat.size())
        return std::nullopt;
    std::istringstream rest(stat.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    return std::make_pair(parent, stat.substr(open + 1, close - open - 1));
}

// The child of `parent` named `name`, or -1.
pid_t ChildNamed(pid_t parent, const std::string& name) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string file = entry.path().filename().string();
        if (file.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = std::stoi(file);
        if (const auto found = ParentAndName(pid);
            found && found->first == parent && found->second == name)
            return pid;
    }
    return -1;
}

// Waits for our child `pid` until `deadline`; its wait status, or nothing.
std::optional<int> WaitUntil(pid_t pid, Clock::time_point deadline) {
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return status;
        if (done < 0 && errno != EINTR)
            return -1;
        if (Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(20ms);
    }
}

int ExitStatus(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -WTERMSIG(waitStatus);
}

}  // namespace

std::optional<std::string> TSystemContainer::CannotBootHere() {
    if (geteuid() != 0)
        return "booting a container needs root";
    for (const char* program : {"systemd-nspawn", "unshare", "nsenter"}) {
        if (!OnPath(program))
            return std::string(program) +
                   " is not installed (Debian: systemd-container, util-linux)";
    }
    if (access("/lib/systemd/systemd", X_OK) != 0)
        return "this machine has no /lib/systemd/systemd to boot";
    return std::nullopt;
}

TSystemContainer::TSystemContainer(const fs::path& installFolder) {
    const std::string machine = "tavo-system-" + std::to_string(getpid());
    std::vector<std::string> argv{"unshare",
                                  "--mount",
                                  "--propagation",
                                  "private",
                                  TAVO_SYSTEM_TEST_DIR "/boot-container.sh",
                                  machine,
                                  installFolder.string()};
    const std::vector<char*> pointers = Pointers(argv);
    const std::string log = (temp_.Path() / "console.log").string();
    const pid_t parent = getpid();
    nspawn_ = fork();
    if (nspawn_ < 0)
        throw std::runtime_error("fork");
    if (nspawn_ == 0) {
        // The container shuts down when this test ends, however it ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
        const int input = open("/dev/null", O_RDONLY);
        const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (input < 0 || output < 0 || dup2(input, STDIN_FILENO) < 0 ||
            dup2(output, STDOUT_FILENO) < 0 || dup2(output, STDERR_FILENO) < 0)
            _exit(126);
        execvp(pointers[0], pointers.data());
        _exit(127);
    }
    booted_ = Boot();
}

TSystemContainer::~TSystemContainer() {
    Shutdown();
}

bool TSystemContainer::Boot() {
    const auto deadline = Clock::now() + kBootTimeout;
    while (init_ < 0) {
        if (const auto status = WaitUntil(nspawn_, Clock::now())) {
            nspawn_ = -1;
            const int exit = ExitStatus(*status);
            why_ = (exit == 77 ? ""
                               : "systemd-nspawn ended with status " + std::to_string(exit) +
                                     " before its container booted:\n") +
                   ConsoleLog();
            cannotBoot_ = true;
            return false;
        }
        if (Clock::now() >= deadline) {
            why_ = "the container's systemd did not appear in time:\n" + ConsoleLog();
            return false;
        }
        init_ = ChildNamed(nspawn_, "systemd");
        if (init_ < 0)
            std::this_thread::sleep_for(20ms);
    }
    // The manager answers once its bus is up, and says "running" (or "degraded")
    // when the boot has finished.
    for (;;) {
        const TCommandResult state = Run({"systemctl", "is-system-running", "--wait"}, 10000);
        if (state.Output == "running\n" || state.Output == "degraded\n")
            return true;
        if (Clock::now() >= deadline) {
            why_ = "the container did not finish booting: " + state.Output + state.Errors + "\n" +
                   ConsoleLog();
            return false;
        }
        std::this_thread::sleep_for(100ms);
    }
}

void TSystemContainer::Shutdown() {
    if (nspawn_ < 0)
        return;
    // systemd-nspawn asks the container's systemd to power off and waits for it.
    kill(nspawn_, SIGTERM);
    if (!WaitUntil(nspawn_, Clock::now() + kShutdownTimeout)) {
        // nspawn_ is not reaped yet, so init_ is its child only if it still is ours.
        if (init_ > 0) {
            if (const auto found = ParentAndName(init_); found && found->first == nspawn_)
                kill(init_, SIGKILL);  // PID 1 of the container: every process in it ends
        }
        kill(nspawn_, SIGKILL);
        WaitUntil(nspawn_, Clock::now() + kShutdownTimeout);
    }
    nspawn_ = -1;
    init_ = -1;
}

TCommandResult TSystemContainer::Run(const std::vector<std::string>& command, int timeoutMs) const {
    std::vector<std::string> argv{"nsenter", "--target", std::to_string(init_), "--all", "--"};
    argv.insert(argv.end(), command.begin(), command.end());
    const std::vector<char*> pointers = Pointers(argv);
    int output[2];
    int errors[2];
    if (init_ < 0 || pipe2(output, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot run a command in the container");
    const pid_t child = fork();
    if (child == 0) {
        const int input = open("/dev/null", O_RDONLY);
        if (input < 0 || dup2(input, STDIN_FILENO) < 0 || dup2(output[1], STDOUT_FILENO) < 0 ||
            dup2(errors[1], STDERR_FILENO) < 0)
            _exit(126);
        // Texts as systemd writes them, not paged, not coloured.
        setenv("LANG", "C.UTF-8", 1);
        setenv("SYSTEMD_PAGER", "", 1);
        setenv("SYSTEMD_COLORS", "0", 1);
        execvp(pointers[0], pointers.data());
        _exit(127);
    }
    close(output[1]);
    close(errors[1]);
    TCommandResult result;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd streams[2] = {{output[0], POLLIN, 0}, {errors[0], POLLIN, 0}};
    std::string* texts[2] = {&result.Output, &result.Errors};
    int open = 2;
    while (open > 0 && Clock::now() < deadline) {
        if (poll(streams, 2, 100) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || streams[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = read(streams[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(streams[i].fd);
                streams[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& stream : streams) {
        if (stream.fd >= 0)
            close(stream.fd);
    }
    auto status = WaitUntil(child, deadline);
    if (!status) {
        kill(child, SIGKILL);
        status = WaitUntil(child, Clock::now() + 5s);
        result.Errors += "\n(stopped after " + std::to_string(timeoutMs) + " ms)";
    }
    result.Status = status ? ExitStatus(*status) : -SIGKILL;
    return result;
}

void TSystemContainer::InNetwork(const std::function<void()>& step) const {
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            // setns changes the network of this thread only.
            const int network =
                open(("/proc/" + std::to_string(init_) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
            const bool joined = network >= 0 && setns(network, CLONE_NEWNET) == 0;
            if (network >= 0)
                close(network);
            if (!joined)
                throw std::runtime_error("cannot join the container's network");
            step();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

std::string TSystemContainer::ConsoleLog() const {
    std::ifstream file(temp_.Path() / "console.log", std::ios::binary);
    std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    constexpr std::size_t kTail = 4000;
    return log.size() > kTail ? "..." + log.substr(log.size() - kTail) : log;
}
