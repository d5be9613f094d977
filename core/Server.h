// The server as a host runs it: the one way to start it (the registry with the
// settings, then the listener on the settings' port) and to stop it (telling every
// user first, or not), and the counts a host shows. The service, the desktop window
// and the tests all run the server through it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "core/Initial.h"
#include "core/ServerCore.h"
#include "listener/ServerSocket.h"

class TServer {
  public:
    // `threadCacheSize` idle connection threads are kept for reuse. A host that stops
    // the server from its main thread passes `waitForThread` (see TServerSocket).
    TServer(IServerHost& host, std::filesystem::path programPath, int threadCacheSize,
            TConnectionTimings timings = {},
            listener::TServerSocket::ThreadWaiter waitForThread = {});
    ~TServer();  // stops, without a word to the users
    TServer(const TServer&) = delete;
    TServer& operator=(const TServer&) = delete;

    // Serves with `settings` from now on. Answers why it cannot (UTF-8, in the words
    // an operator reads) and stays stopped then.
    std::optional<std::string> Start(const TSettings& settings);
    // Ends every connection and frees the registry; with `tellUsers`, every user first
    // gets the closing error "Sorry <server name> ShutDown Now". Answers how many
    // connections the stop ended.
    int Stop(bool tellUsers);

    bool Running() const { return listener_.Active(); }
    uint16_t Port() const { return listener_.LocalPort(); }  // the one bound for port 0
    // Connection threads serving a connection, and accepted sockets that still exist.
    int ActiveThreads() const { return listener_.ActiveThreads(); }
    int ActiveConnections() const { return listener_.ActiveConnections(); }
    // What the connections share; only while the server runs.
    TServerCore& Core() { return *core_; }

  private:
    void TellEveryUser(std::string_view text);

    IServerHost& host_;
    const std::filesystem::path programPath_;
    const TConnectionTimings timings_;
    std::unique_ptr<TServerCore> core_;
    listener::TServerSocket listener_;  // last: its threads use core_
};
