// A real server for integration tests: the core and the listener on an ephemeral
// port, started by the constructor and stopped by the destructor.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/ServerCore.h"
#include "listener/ServerSocket.h"

class TTestServer : public IServerHost {
  public:
    explicit TTestServer(TSettings settings = {}, TConnectionTimings timings = {},
                         int threadCacheSize = 5);
    ~TTestServer() override;

    uint16_t Port() const { return serverSocket_.LocalPort(); }
    TServerCore& Core() { return *core_; }
    listener::TServerSocket& Listener() { return serverSocket_; }
    // Errors the server showed to its operator.
    std::vector<std::string> ShownErrors();
    // Close reasons of the connections that have ended, in order of ending.
    std::vector<std::string> CloseReasons();
    // Waits (bounded) until `count` connections have ended.
    bool WaitForEndedConnections(std::size_t count, int timeoutMs = 5000);

    void RunInMainThread(const std::function<void()>& step) override { step(); }
    int ActiveThreads() const override { return serverSocket_.ActiveThreads(); }
    int ActiveConnections() const override { return serverSocket_.ActiveConnections(); }
    void ShowError(std::string_view text) override;
    void NotifyLogout(TClientThread& connection) override;

  private:
    std::unique_ptr<TServerCore> core_;
    listener::TServerSocket serverSocket_;
    std::mutex mutex_;
    std::vector<std::string> shownErrors_;
    std::vector<std::string> closeReasons_;
};
