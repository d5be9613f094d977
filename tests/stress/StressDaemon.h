// The service program as the fault and load tests run it: a copy of the built binary
// in a temporary folder with its ini file beside it, asking a name server of the
// test's own where the machine allows it, and its figures (threads, descriptors,
// resident memory) read from /proc.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/stress/FakeNameServer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestClient.h"

struct TDaemonSettings {
    uint16_t Port = 0;
    int MaxConnection = 2000;
    int PingInterval = 600;
    // What the daemon's name server answers (by default: that no name exists, at
    // once), or, when silent, that it answers nothing at all. Where the machine does
    // not let a test give a program its own /etc/resolv.conf (it needs unshare(1)
    // and the right to mount), the daemon asks the machine's name server instead.
    TFakeNameServer::TRecords NameRecords;
    bool SilentNameServer = false;
};

struct TProcessFigures {
    int Threads = 0;
    int Descriptors = 0;
    long ResidentKb = 0;
};

class TStressDaemon {
  public:
    explicit TStressDaemon(const TDaemonSettings& settings);

    // Connects from `address` once the daemon listens; null when it never does.
    std::unique_ptr<TTestClient> Connect(const std::string& address);
    // The daemon's process id, once it runs the program; -1 when it never does.
    pid_t Pid();
    TProcessFigures Figures();
    // Its open descriptors alone, cheaper to count than all figures.
    int Descriptors();
    // The figures once they hold still (a reverse lookup that gave up may still wait
    // for the name server for a few seconds, on a thread of its own), after more
    // connections at once than the thread cache holds (from
    // LoopbackAddress(firstAddress) on) have come and gone, and after a pause and a continue, which
    // the service notes in its log: the cached idle threads and what the daemon sets up when it
    // first writes to its log are part of them.
    TProcessFigures IdleFigures(int firstAddress);
    static constexpr int kThreadCacheSize = 5;  // the service program's idle threads
    // Waits (bounded) until the threads and descriptors are back at `idle` and the
    // resident memory is below idle.ResidentKb + kResidentMarginKb; the figures then.
    TProcessFigures FiguresBackAt(const TProcessFigures& idle);
    static constexpr long kResidentMarginKb = 2 * 1024;
    TChildProcess& Process() { return *process_; }
    // The name server the daemon asks; null when it asks the machine's.
    const TFakeNameServer* NameServer() const { return nameServer_.get(); }

  private:
    TTempFolder folder_;
    std::filesystem::path program_;
    uint16_t port_;
    pid_t pid_ = -1;
    std::unique_ptr<TFakeNameServer> nameServer_;  // outlives the daemon's process
    std::unique_ptr<TChildProcess> process_;
};

// The index-th test client address: 127.0.0.2, 127.0.0.3, ... 127.0.0.251, then
// 127.0.1.2 and on, so that every client is a host of its own.
std::string LoopbackAddress(int index);

// Sends NICK and USER in one write. Clients that connect in a crowd do so: while the
// listener's short accept queue is full, this machine's network stack resets a new
// connection whose client writes twice in quick succession, but not one that
// writes once.
void SendRegistration(TTestClient& client, const std::string& nick);

// Clients from LoopbackAddress(firstAddress) on, registered as nickPrefix + their
// number and, when `channel` is given, joined to it. Registered a few at a time in
// parallel, so that a reverse lookup that stalls holds up only its own client. A
// client that does not get through fails the test and is left out.
std::vector<std::unique_ptr<TTestClient>> RegisterClients(TStressDaemon& daemon, int firstAddress,
                                                          int count, const std::string& nickPrefix,
                                                          const std::string& channel = "");

// Ends a client's connection with a reset instead of an orderly close.
void ResetConnection(std::unique_ptr<TTestClient> client);
