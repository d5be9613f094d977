#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace {

// The test's environment with `additions` in place of the entries of the same name.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& additions) {
    std::vector<std::string> entries(additions);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view inherited(*entry);
        const std::string_view name = inherited.substr(0, inherited.find('=') + 1);
        const bool replaced =
            std::any_of(additions.begin(), additions.end(),
                        [&](const std::string& a) { return a.starts_with(name); });
        if (!replaced)
            entries.emplace_back(inherited);
    }
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& text : strings)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// In the child: `fd` becomes the file at `path`, unless `path` is empty.
void RedirectInChild(const std::filesystem::path& path, int fd) {
    if (path.empty())
        return;
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0 || (file != fd && dup2(file, fd) < 0))
        _exit(126);
    if (file != fd)
        close(file);
}

}  // namespace

TChildProcess::TChildProcess(const std::filesystem::path& program,
                             const std::vector<std::string>& args, const TChildOptions& options) {
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> environment = ChildEnvironment(options.Environment);
    const std::vector<char*> argvPointers = Pointers(argv);
    const std::vector<char*> environmentPointers = Pointers(environment);
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork");
    if (pid_ == 0) {
        RedirectInChild(options.StandardOutput, STDOUT_FILENO);
        RedirectInChild(options.StandardError, STDERR_FILENO);
        execve(argvPointers[0], argvPointers.data(), environmentPointers.data());
        _exit(127);
    }
}

TChildProcess::~TChildProcess() {
    if (Wait(0))
        return;
    Signal(SIGTERM);
    if (!Wait(5000)) {
        Signal(SIGKILL);
        Wait(5000);
    }
}

void TChildProcess::Signal(int signal) {
    if (!status_)
        kill(pid_, signal);
}

std::optional<int> TChildProcess::Wait(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!status_) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return status_;
}

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
    return std::filesystem::exists(kPython) &&
           RunCommand(std::string(kPython) + " -c 'import irc.client'").Status == 0;
}
