// A copy of the built service program in a temporary folder of its own, for tests
// that run the real program: an ini file beside it names its port, its standard
// output and standard error go to files in the folder, and a datagram socket in
// the folder takes what it tells the service manager (NOTIFY_SOCKET).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

// A datagram socket bound at a path, as the service manager's notify socket or the
// journal's socket are.
class TDatagramSocket {
  public:
    explicit TDatagramSocket(const std::filesystem::path& path);
    ~TDatagramSocket();
    TDatagramSocket(const TDatagramSocket&) = delete;
    TDatagramSocket& operator=(const TDatagramSocket&) = delete;

    // The next datagram; nothing when none comes within `timeoutMs`.
    std::optional<std::string> Receive(int timeoutMs) const;

  private:
    int fd_ = -1;
};

class TDaemonCopy {
  public:
    // With `port` 0 no ini file is written. The program's folder is `subfolder` of
    // the temporary folder when one is named. `settings` are further lines of the ini
    // file's section Global ("Key=Value"), written after the port.
    explicit TDaemonCopy(uint16_t port = 0, const std::string& subfolder = "",
                         const std::vector<std::string>& settings = {});
    TDaemonCopy(const TDaemonCopy&) = delete;
    TDaemonCopy& operator=(const TDaemonCopy&) = delete;

    const std::filesystem::path& Folder() const { return folder_; }
    const std::filesystem::path& Program() const { return program_; }
    std::filesystem::path StandardOutputFile() const { return folder_ / "stdout"; }
    std::filesystem::path StandardErrorFile() const { return folder_ / "stderr"; }

    // The options that start the program as this copy: its output files and its
    // notify socket, plus `environment` ("NAME=value").
    TChildOptions Options(std::vector<std::string> environment = {}) const;
    std::unique_ptr<TChildProcess> Start(const std::vector<std::string>& args = {},
                                         std::vector<std::string> environment = {}) const;

    std::string StandardOutput() const;
    std::string StandardError() const;
    // Waits until standard error holds at least `count` lines; answers its lines.
    std::vector<std::string> WaitForErrorLines(std::size_t count, int timeoutMs = 10000) const;
    // The next message to the service manager; nothing when none comes in time.
    std::optional<std::string> ReceiveNotification(int timeoutMs = 10000) const {
        return notifySocket_.Receive(timeoutMs);
    }

  private:
    TTempFolder temp_;
    std::filesystem::path folder_;
    std::filesystem::path program_;
    TDatagramSocket notifySocket_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);
