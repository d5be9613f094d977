// The service host: starts the server (registry, settings, listener) when the
// service starts and stops it when the service stops.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "core/Server.h"
#include "platform/ServiceManager.h"

class TService1 : public IServerHost {
  public:
    static constexpr int kThreadCacheSize = 5;
    // The service's identity with the service manager.
    static constexpr std::string_view kServiceName = "Service1";
    static constexpr std::string_view kDisplayName = "TavoServerDaemon";
    static constexpr int kWaitHintSeconds = 5;

    // The service as the service manager runs it from `programPath`.
    static platform::TServiceDefinition Definition(const std::filesystem::path& programPath);

    explicit TService1(std::filesystem::path programPath);
    ~TService1() override;

    // Creates the registry, loads the settings and activates the listener, then writes
    // a notice with the port and the server name. Answers false, after writing the
    // error to the log, when the server cannot start.
    bool ServiceStart();
    // Deactivates the listener (ending every connection) and frees the registry; a
    // server that ran writes a notice with the number of connections it ended.
    void ServiceStop();
    // Pausing and continuing only write a notice: connections and the listener
    // keep working while the service is paused.
    void ServicePause();
    void ServiceContinue();

    // The port the listener serves, while the service runs.
    uint16_t Port() const;

    // IServerHost
    int ActiveThreads() const override { return server_.ActiveThreads(); }
    int ActiveConnections() const override { return server_.ActiveConnections(); }
    void ShowError(std::string_view text) override;

  private:
    const std::filesystem::path programPath_;
    TServer server_;
};
