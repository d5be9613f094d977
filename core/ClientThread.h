// One client connection: reads the socket, cuts the input into lines, enforces the
// flood, login and keep-alive limits, queues and writes outgoing lines, and ends
// the connection. A cached thread serves one connection after another.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/Connection.h"
#include "core/ConnectionOutput.h"
#include "core/ReceiveFraming.h"
#include "core/RelayBudget.h"
#include "core/ServerCore.h"
#include "listener/ServerSocket.h"
#include "platform/DateTime.h"

class TClientThread : public listener::TServerClientThread, public TConnection {
  public:
    explicit TClientThread(TServerCore& core);

    // Serves the current socket from the connection start to its end: the start,
    // one step after another while the connection lasts, then the end.
    void RunConnection();
    // The steps of RunConnection, for a caller that drives a connection itself.
    void StartConnection();
    // Waits up to `waitMs` for input or room to write, handles what came, and checks
    // the timers; answers false once the connection is over.
    bool ServeOnce(uint32_t waitMs);
    void EndConnection();  // however the connection ended

    // TConnection
    bool Registered() const override { return registered_.load(std::memory_order_acquire); }
    platform::LocalDateTime IdleSince() const override;
    void SendLine(std::string_view text) override;
    void SendClosingError(std::string_view text) override;
    void MarkActive() override;
    void MarkPongReceived() override;
    bool HasRoomForListing() override;
    void SpendRelayBudget(std::size_t bytes) override { relayBudget_.Spend(bytes); }

  protected:
    void ClientExecute() override { RunConnection(); }

  private:
    void ReadBurst();
    void DispatchCompleteLines();
    void CheckTimers();
    void EndServerSide(std::string_view quitReason, std::string_view closeReason);
    void Disconnect();

    std::atomic<bool> registered_{false};
    std::atomic<platform::LocalDateTime::rep> idleSince_{0};

    // The keep-alive and login timers and the input's pacing, fresh at every start.
    struct TTimers {
        uint32_t StartTime = 0;
        int64_t PingIntervalMs = 0;  // PingInterval * 1000, wide enough for any setting
        uint32_t LastActivity = 0;
        bool PingSent = false;
        bool InputWaited = false;  // the relay budget held the input back since the last read
    };
    TTimers timers_;
    std::string pingLine_;
    TReceiveFraming framing_;
    TRelayBudget relayBudget_;
    // The current connection's output; other threads reach it only through a user
    // record, so it is replaced and released only while no record refers to it.
    std::shared_ptr<TConnectionOutput> output_;
};
