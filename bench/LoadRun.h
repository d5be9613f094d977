// One run of the load generator against one server: N clients connect, register and
// join one channel; S of them send benchmark messages for a bounded time, either
// closed loop (a sender keeps W messages in flight) or paced (a fixed total rate);
// then the run drains and tallies what arrived.
//
// When is a message delivered? The servers do not echo a channel message to its
// sender, so a sender cannot see its own message come back. But the generator plays
// every client in one process, so it sees every receipt itself: a message counts as
// in flight from its write until every receiver due to get it has got it (point
// "wW": the closed loop's window is a window of complete fan-outs), or, with
// UntilFirstReceipt, until the first of them has it (point "fW": like a sender in a
// real channel, which never waits for the slowest member). Either way the window
// bounds what a sender has written that the server has not read yet, which must stay
// below the server's burst limit: a receipt means the server has read the message.
#pragma once

#include <sys/epoll.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchConnection.h"
#include "bench/DeliveryLedger.h"
#include "bench/GeneratorOptions.h"
#include "bench/LatencyHistogram.h"

struct TRunResult {
    std::string Status = "ok";  // ok, faults (lost, duplicated, reordered, dropped) or setup_failed
    std::optional<double> RegisterSeconds;  // until the last client was registered
    TLatencyHistogram RegisterLatency;      // of each client, from connect to the end of the MOTD
    double SendSeconds = 0;
    uint64_t Sent = 0;
    uint64_t SendPhaseDeliveries = 0;
    TLatencyHistogram Latency;
    uint64_t Lost = 0;
    uint64_t Duplicated = 0;
    uint64_t Reordered = 0;
    uint64_t Garbled = 0;    // relayed texts that were not benchmark messages
    int Disconnected = 0;    // clients the server ended
    uint64_t LateSends = 0;  // paced: messages written more than 1 ms after their time
    std::optional<double> ServerCpuMicroseconds;  // over the send phase
    std::optional<long> ResidentIdleKiB;
    std::optional<long> ResidentRegisteredKiB;   // every client registered, none in a channel
    std::optional<long> ResidentWithClientsKiB;  // every client in the channel
    double GeneratorCpuSeconds = 0;              // over the send phase
};

class TLoadRun {
  public:
    explicit TLoadRun(const TGeneratorOptions& options);
    ~TLoadRun();
    TLoadRun(const TLoadRun&) = delete;
    TLoadRun& operator=(const TLoadRun&) = delete;

    TRunResult Run();

  private:
    enum class EState { Idle, Connecting, Registering, Registered, Joining, Joined, Closed };
    struct TClient {
        TBenchConnection Connection;
        EState State = EState::Idle;
        int64_t ConnectStartNs = 0;
        bool WatchingWrites = false;
    };

    bool ConnectAndRegister();
    bool JoinChannel();
    void SendAndDrain();
    // Handles events until `done` holds or `deadlineNs` passes; answers whether `done` held.
    template <typename TDone>
    bool PollUntil(TDone done, int64_t deadlineNs);
    void PollOnce(int timeoutMs);
    void StartConnections();
    void OnWritable(int client);
    void OnReadable(int client);
    void OnLine(int client, std::string_view line, int64_t nowNs);
    void OnRegistrationReply(int client, std::string_view command, std::string_view line);
    void OnMessage(int receiver, std::string_view text, int64_t nowNs);
    void SendDueMessages(int sender, int64_t nowNs);
    std::string TargetOf(int sender) const;
    int64_t ScheduledNs(int sender, uint64_t index) const;
    void ArmPacingTimer();
    void SendTo(int client, std::string_view bytes);
    void WatchWrites(int client, bool watch);
    void Drop(int client, const std::string& why);
    void SetupFailed(const std::string& why);

    const TGeneratorOptions Options_;
    int EpollFd_ = -1;
    int TimerFd_ = -1;
    std::vector<std::unique_ptr<TClient>> Clients_;
    std::vector<char> Scratch_;
    TDeliveryLedger Ledger_;
    TRunResult Result_;
    std::optional<std::string> SetupFault_;
    int Started_ = 0;
    int Registered_ = 0;
    int Joined_ = 0;
    bool Sending_ = false;
    int64_t SendStartNs_ = 0;
    int64_t SendEndNs_ = 0;
    int64_t PacingTimerNs_ = 0;     // when the pacing timer fires next; 0 when it is not armed
    std::vector<uint64_t> SentBy_;  // messages written by each sender
};
