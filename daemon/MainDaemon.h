// The service host: starts the server (registry, settings, listener) when the
// service starts and stops it when the service stops.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "core/ServerCore.h"
#include "listener/ServerSocket.h"
#include "platform/MainThreadQueue.h"

class TService1 : public IServerHost {
  public:
    static constexpr int kThreadCacheSize = 5;

    TService1(platform::TMainThreadQueue& mainThread, std::filesystem::path programPath);
    ~TService1() override;

    // Creates the registry, loads the settings and activates the listener. Answers
    // false, after writing the error to the log, when the server cannot start.
    bool ServiceStart();
    // Deactivates the listener (ending every connection) and frees the registry.
    void ServiceStop();

    // IServerHost
    void RunInMainThread(const std::function<void()>& step) override;
    int ActiveThreads() const override { return serverSocket_.ActiveThreads(); }
    int ActiveConnections() const override { return serverSocket_.ActiveConnections(); }
    void ShowError(std::string_view text) override;

  private:
    std::unique_ptr<listener::TServerClientThread> ServerSocketGetThread();

    platform::TMainThreadQueue& mainThread_;
    const std::filesystem::path programPath_;
    std::unique_ptr<TServerCore> core_;
    listener::TServerSocket serverSocket_;
};
