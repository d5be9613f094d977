// A program started as a child process for end-to-end tests, stopped (SIGTERM,
// then SIGKILL) at the latest when the object goes away.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class TChildProcess {
  public:
    TChildProcess(const std::filesystem::path& program, const std::vector<std::string>& args = {});
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
