// One client connection: reads the socket, cuts the input into lines, enforces the
// flood, login and keep-alive limits, queues and writes outgoing lines, and ends
// the connection. A cached thread serves one connection after another.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/ConnectionOutput.h"
#include "core/ReceiveFraming.h"
#include "core/RelayBudget.h"
#include "core/ServerCore.h"
#include "listener/ServerSocket.h"
#include "platform/DateTime.h"

class TClientThread : public listener::TServerClientThread {
  public:
    explicit TClientThread(TServerCore& core);

    TServerCore& Core;

    // Per-connection fields, reset at the start of every connection. Handlers of
    // this connection read and write them in this connection's thread.
    std::string Nick;
    std::string PeerHost;
    std::string PeerAddress;  // dotted decimal
    bool SameHost = false;
    bool BadUserName = false;
    std::string CloseReason;
    int64_t PingIntervalMs = 0;  // PingInterval * 1000, wide enough for any setting
    uint32_t LastActivity = 0;
    bool PingSent = false;

    bool Registered() const { return registered_.load(std::memory_order_acquire); }
    // The local date and time of registration or of the last plain message sent;
    // read by other connections (WHOIS).
    platform::LocalDateTime IdleSince() const;

    // Serves the current socket from the connection start to its end: the start,
    // one step after another while the connection lasts, then the end.
    void RunConnection();
    // The steps of RunConnection, for a caller that drives a connection itself.
    void StartConnection();
    // Waits up to `waitMs` for input or room to write, handles what came, and checks
    // the timers; answers false once the connection is over.
    bool ServeOnce(uint32_t waitMs);
    void EndConnection();  // however the connection ended

    // Queues one complete line ("\r\n" included). Any thread may call it; lines are
    // written in the order they were queued, at once or, while the calling thread
    // has a TOutputBatch open, when the batch closes.
    void SendLine(std::string_view text);
    // Writes "ERROR :ClosingLink: " + text past the queue and closes the socket.
    void SendClosingError(std::string_view text);
    void MarkActive();
    void MarkPongReceived();
    // True while this connection's unwritten output leaves room for more of a long
    // listing: a listing stops early rather than push its asker past the output bound.
    bool HasRoomForListing();
    // Charges a line relayed on behalf of this connection's user; called in this
    // connection's own thread (the fan-outs run in the thread of the user who acts).
    void SpendRelayBudget(std::size_t bytes) { relayBudget_.Spend(bytes); }

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

    TReceiveFraming framing_;
    TRelayBudget relayBudget_;
    bool inputWaited_ = false;  // the relay budget held the input back since the last read
    std::string pingLine_;
    uint32_t startTime_ = 0;
    // The current connection's output; other threads reach it only through a user
    // record, so it is replaced and released only while no record refers to it.
    std::shared_ptr<TConnectionOutput> output_;
};
