// A real server for integration tests: the core and the listener on an ephemeral
// port, started by the constructor and stopped by the destructor.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Server.h"

class TTestServer : public IServerHost {
  public:
    explicit TTestServer(TSettings settings = {}, TConnectionTimings timings = {},
                         int threadCacheSize = 5);
    ~TTestServer() override;

    uint16_t Port() const { return server_.Port(); }
    TServerCore& Core() { return server_.Core(); }
    // Stops the server as the service does: every connection ends without a word.
    void Stop() { server_.Stop(false); }
    // Errors the server showed to its operator.
    std::vector<std::string> ShownErrors();
    // Close reasons of the connections that have ended, in order of ending.
    std::vector<std::string> CloseReasons();
    // Waits (bounded) until `count` connections have ended.
    bool WaitForEndedConnections(std::size_t count, int timeoutMs = 5000);

    int ActiveThreads() const override { return server_.ActiveThreads(); }
    int ActiveConnections() const override { return server_.ActiveConnections(); }
    void ShowError(std::string_view text) override;
    void NotifyLogout(TClientThread& connection) override;

  private:
    TServer server_;
    std::mutex mutex_;
    std::vector<std::string> shownErrors_;
    std::vector<std::string> closeReasons_;
};
