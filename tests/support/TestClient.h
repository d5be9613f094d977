// A plain-socket IRC client for integration tests. Each client binds its own
// loopback address (127.0.0.x) so that the server sees a distinct host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TTestClient {
  public:
    // Connects from `localAddress` to 127.0.0.1:`port`.
    TTestClient(uint16_t port, const std::string& localAddress);
    ~TTestClient();
    TTestClient(const TTestClient&) = delete;
    TTestClient& operator=(const TTestClient&) = delete;

    // Sends bytes exactly as given, in one write.
    void SendRaw(std::string_view bytes);
    // Sends `line` followed by CR LF.
    void Send(std::string_view line) { SendRaw(std::string(line) + "\r\n"); }

    // Waits are long enough to ride out a slow reverse lookup of a new connection
    // (a resolver that does not answer for 127.0.0.x stalls it for about 5 s).
    // The next line received, CR LF included; nothing when no complete line comes
    // within `timeoutMs` or the server closed the connection.
    std::optional<std::string> ReadLine(int timeoutMs = 15000);
    // Reads lines until one contains `needle`; returns every line read, that one last.
    // Fails the current test when it does not come in time.
    std::vector<std::string> ReadUntil(std::string_view needle, int timeoutMs = 15000);
    // Lines that arrive within `quietMs` (stops at the first quiet gap).
    std::vector<std::string> Drain(int quietMs = 200);
    // True when the server closes the connection within `timeoutMs`; lines still
    // arriving before the close are kept for ReadLine.
    bool WaitClosed(int timeoutMs = 15000);

    // NICK and USER, then reads through the end of the message of the day.
    void Register(std::string_view nick, std::string_view user = "user");

    // The client's socket, for tests that tune it (for example its buffer size).
    int Fd() const { return fd_; }

  private:
    bool Fill(int timeoutMs);

    int fd_ = -1;
    std::string received_;
    bool closed_ = false;
};
