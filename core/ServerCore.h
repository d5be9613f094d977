// What every connection of one running server shares: the settings, the registry,
// the running program's identity, the connection limits and the host's services.
// The server object (Server.h) creates it when the server starts and frees it after
// the listener has been deactivated, so it outlives every connection thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/ConnectionOutput.h"
#include "core/Dialect.h"
#include "core/HashTable.h"
#include "core/Initial.h"

class TClientThread;

// The services a host gives the connections.
class IServerHost {
  public:
    virtual ~IServerHost() = default;
    // Connection threads that currently serve a connection, and accepted sockets
    // that still exist (the listener's two counts).
    virtual int ActiveThreads() const = 0;
    virtual int ActiveConnections() const = 0;
    // Shows an error to the operator; never waits for anyone.
    virtual void ShowError(std::string_view text) = 0;
    // Main-thread steps at the start and end of a connection; the desktop host
    // shows them, the service host does nothing.
    virtual void NotifyLogin(TClientThread&) {}
    virtual void NotifyLogout(TClientThread&) {}
};

// Limits and timeouts of a connection, in one place so that tests can shrink them.
struct TConnectionTimings {
    uint32_t WaitForDataMs = 60000;            // each wait of the receive loop
    uint32_t LoginTimeoutMs = 300000;          // an unregistered connection older than this ends
    uint32_t WriteStallTimeoutMs = 300000;     // queued output without progress this long ends it
    std::size_t OutQueueLimitBytes = 1 << 20;  // queued output beyond this ends it
    std::size_t LineBufferLimitBytes = 64 * 1024;  // received text without CR LF
};

class TServerCore {
  public:
    // `settings` as they go on the wire: their texts in the dialect's encoding.
    TServerCore(const TSettings& settings, IServerHost& host,
                const std::filesystem::path& programPath, TConnectionTimings timings = {},
                TDialect dialect = {});

    const TSettings Settings;
    const TDialect Dialect;
    TClientData Registry;
    IServerHost& Host;
    const std::string ProgramFileName;  // the running program's file name, without folder
    const std::string ProductVersion;   // ProductVersion of the program's version block
    const std::string StartedAt;        // the local date and time the server started
    const TConnectionTimings Timings;
    TOutputWriter Writer;  // writes what the connections' handlers queue for others
};
