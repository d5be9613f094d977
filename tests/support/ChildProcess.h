// A program started as a child process for end-to-end tests, stopped (SIGTERM,
// then SIGKILL) at the latest when the object goes away.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// What a child gets besides its arguments.
struct TChildOptions {
    // "NAME=value" entries added to the test's own environment (replacing its NAME).
    std::vector<std::string> Environment;
    // Files (or named pipes) that take the child's standard output and standard
    // error, created when missing; empty: the test's own.
    std::filesystem::path StandardOutput;
    std::filesystem::path StandardError;
};

class TChildProcess {
  public:
    TChildProcess(const std::filesystem::path& program, const std::vector<std::string>& args = {},
                  const TChildOptions& options = {});
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    void Signal(int signal);
    // The exit status when the process ends within `timeoutMs`; -signal when a
    // signal ended it; nothing when it is still running.
    std::optional<int> Wait(int timeoutMs);

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// What a shell command printed (standard output and standard error together) and its
// wait status.
struct TCommandResult {
    int Status = -1;
    std::string Output;
};
TCommandResult RunCommand(const std::string& command);

// Debian's python3 with the python3-irc library, which the client tests drive.
inline constexpr const char* kPython = "/usr/bin/python3";
bool PythonIrcAvailable();
