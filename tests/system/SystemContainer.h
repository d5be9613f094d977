// A real systemd to test the service program under: a throw-away container
// (systemd-nspawn, booted with systemd as its PID 1) whose root is an overlay of this
// machine's own / in a mount namespace of its own, made by boot-container.sh. Commands
// run inside it through nsenter; sockets can be opened in its network.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"

// What a command printed and how it ended.
struct TCommandResult {
    int Status = -1;  // the exit status; -signal when a signal ended it
    std::string Output;
    std::string Errors;
};

class TSystemContainer {
  public:
    // Why this machine cannot boot the container (not root, no systemd-nspawn, no
    // overlayfs, ...), or nothing when it can.
    static std::optional<std::string> CannotBootHere();

    // Boots the container with the files of `installFolder` in /opt/tavo and waits
    // until its systemd has finished booting. Otherwise Booted() is false and Why()
    // says why; CannotBoot() tells that systemd-nspawn gave up before the container
    // started (this machine cannot run it) from a boot that started and failed.
    explicit TSystemContainer(const std::filesystem::path& installFolder);
    // Shuts the container down (SIGTERM to systemd-nspawn, SIGKILL to what this started
    // when that does not end it); the overlay goes with its mount namespace. Should the
    // test itself be killed, systemd-nspawn gets SIGTERM (its parent-death signal).
    ~TSystemContainer();
    TSystemContainer(const TSystemContainer&) = delete;
    TSystemContainer& operator=(const TSystemContainer&) = delete;

    bool Booted() const { return booted_; }
    bool CannotBoot() const { return cannotBoot_; }
    const std::string& Why() const { return why_; }

    // Runs `command` inside the container (all its namespaces), waiting at most
    // `timeoutMs` for it.
    TCommandResult Run(const std::vector<std::string>& command, int timeoutMs = 30000) const;
    // Runs `step` in a thread of its own that has joined the container's network, so
    // that the sockets it makes live there.
    void InNetwork(const std::function<void()>& step) const;

    // What the container's console showed, for a failure's message.
    std::string ConsoleLog() const;

  private:
    bool Boot();
    void Shutdown();

    TTempFolder temp_;   // the console's log
    pid_t nspawn_ = -1;  // our child: unshare, then the boot script, then systemd-nspawn
    pid_t init_ = -1;    // the container's systemd, nspawn's child
    bool booted_ = false;
    bool cannotBoot_ = false;
    std::string why_;
};
