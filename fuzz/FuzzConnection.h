// One client of the dispatcher's fuzz target: a real connection object of the server
// whose socket is one end of a socket pair, driven step by step from the target's
// own thread as the connection's thread would drive it, and the client's end of the
// pair, from which everything the server writes is read and checked line by line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/ClientThread.h"
#include "core/ServerCore.h"

namespace fuzz {

// The host of the fuzzed server: main-thread steps run at once, and the connection
// counts are those of the target's live connections.
class TFuzzHost : public IServerHost {
  public:
    int LiveConnections = 0;

    int ActiveThreads() const override { return LiveConnections; }
    int ActiveConnections() const override { return LiveConnections; }
    void ShowError(std::string_view) override {}
};

// The file descriptor of the client's end of a socket pair; -1 when there is none.
class TClientEnd {
  public:
    TClientEnd() = default;
    ~TClientEnd() { Reset(); }
    TClientEnd(const TClientEnd&) = delete;
    TClientEnd& operator=(const TClientEnd&) = delete;

    int Fd() const { return fd_; }
    void Reset(int fd = -1);

  private:
    int fd_ = -1;
};

class TFuzzConnection {
  public:
    // The longest line the server may write: a line names at most three texts that
    // came from clients' lines (a user name, a channel's name as its creator gave it,
    // a command's own text), each at most one received line, in a frame of its own.
    static std::size_t MaxSentLineBytes(const TConnectionTimings& timings);

    // `index` tells the connections apart: their port and their host name.
    TFuzzConnection(TServerCore& core, TFuzzHost& host, int index);

    bool Live() const { return live_; }
    const TClientThread* Connection() const { return &thread_; }

    // A new connection on a new socket pair, started as the listener starts one.
    void Start();
    // The client sends the bytes; the connection serves what arrived.
    void Send(std::string_view bytes);
    // The client closes its end, or only its sending side; the connection notices.
    void HangUp();
    void HalfClose();
    // One step of the connection's thread: input, output waiting for room, timers.
    void Serve();
    // The connection's thread ends a connection whose socket was closed, by whatever.
    void EndIfClosed();
    // The server stops: the socket is closed and the connection ends.
    void Stop();
    // Reads what the server wrote to the client and checks every complete line.
    void ReadOutput();
    // Bytes received after the last complete line.
    bool HoldsPartOfALine() const { return !received_.empty(); }

  private:
    void End();
    void CheckLine(std::string_view line) const;

    TClientThread thread_;
    TFuzzHost& host_;
    const int index_;
    const std::size_t maxLineBytes_;
    TClientEnd client_;
    bool live_ = false;
    std::string received_;
};

}  // namespace fuzz
