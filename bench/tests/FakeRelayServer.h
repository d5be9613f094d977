// A minimal IRC relay for the load generator's own tests: it registers every client at
// once, answers JOIN with the end of NAMES and relays PRIVMSG to the channel's other
// members or to one nick, and can be told to spoil one relayed line, so that a test can
// see the generator notice it.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

class TFakeRelayServer {
  public:
    enum class EFault { None, DropOne, DuplicateOne, SwapTwo };

    // Listens on 127.0.0.1 on a port of the system's choice; serves in its own thread.
    explicit TFakeRelayServer(EFault fault);
    ~TFakeRelayServer();
    TFakeRelayServer(const TFakeRelayServer&) = delete;
    TFakeRelayServer& operator=(const TFakeRelayServer&) = delete;

    uint16_t Port() const { return Port_; }

  private:
    void Serve();

    EFault Fault_;
    int ListenFd_ = -1;
    uint16_t Port_ = 0;
    std::atomic<bool> Stop_{false};
    std::thread Thread_;
};
