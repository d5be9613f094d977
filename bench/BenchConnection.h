// One client socket of the load generator: non-blocking, with TCP_NODELAY, bound to
// its own loopback source address. It keeps the output that the kernel has not taken
// yet and cuts the input into lines.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

class TBenchConnection {
  public:
    TBenchConnection() = default;
    TBenchConnection(const TBenchConnection&) = delete;
    TBenchConnection& operator=(const TBenchConnection&) = delete;
    ~TBenchConnection() { Close(); }

    // Starts connecting from `source` to `server` (IPv4, host byte order); answers 0 or
    // the error number. The socket becomes writable when the connect has finished.
    int StartConnect(uint32_t source, uint32_t server, uint16_t port);
    // The outcome of the connect once the socket is writable: 0 or the error number.
    int ConnectOutcome() const;
    int Fd() const { return Fd_; }
    void Close();

    // Writes `bytes` after the pending output; what the kernel does not take now stays
    // pending. False on a write error.
    bool Send(std::string_view bytes);
    // Writes pending output. False on a write error.
    bool FlushPending();
    bool HasPending() const { return !Pending_.empty(); }

    // One read into `scratch`: the number of bytes read, 0 at the end of the stream,
    // -1 on an error, -2 when nothing was there to read.
    long Receive(std::span<char> scratch);
    // Calls `onLine` with every complete line of `received` and of the input kept from
    // earlier reads, without its line end; keeps the incomplete rest.
    void CutLines(std::span<const char> received,
                  const std::function<void(std::string_view)>& onLine);

  private:
    int Fd_ = -1;
    std::string Pending_;
    std::string Partial_;
};
