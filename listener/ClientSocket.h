// One accepted TCP connection: non-blocking reads and writes, a wait for readiness
// that another thread can interrupt, and closing that any thread may request.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace listener {

class TClientSocket {
  public:
    // Takes ownership of `fd` and puts it in non-blocking mode. The listener numbers
    // the sockets it accepts in the order it accepts them.
    TClientSocket(int fd, const sockaddr_in& peer, uint64_t acceptNumber = 0);
    ~TClientSocket();
    TClientSocket(const TClientSocket&) = delete;
    TClientSocket& operator=(const TClientSocket&) = delete;

    // The peer's IPv4 address in dotted-decimal form.
    std::string PeerAddress() const;
    // The peer's host name: the name a reverse lookup of its address gives, when a
    // forward lookup of that name gives the address back. Empty when either lookup
    // fails or takes longer than platform::THostLookupLimits allow.
    std::string PeerHostName() const;
    const sockaddr_in& Peer() const { return peer_; }
    uint64_t AcceptNumber() const { return acceptNumber_; }

    // The connection has registered as a user; until then the listener counts it
    // among its host's unregistered connections.
    void MarkRegistered() { registered_.store(true, std::memory_order_release); }
    bool Registered() const { return registered_.load(std::memory_order_acquire); }

    // True until Close: the connection may still be read and written.
    bool Connected() const { return connected_.load(std::memory_order_acquire); }
    // Shuts the connection down in both directions and wakes any waiter. Safe from
    // any thread and idempotent; the descriptor itself is released by the destructor,
    // so it can never be reused while another thread still refers to it.
    void Close();

    enum class ReadResult { Data, EndOfStream, WouldBlock, Error };
    // Reads what is available, at most `size` bytes, without waiting.
    ReadResult ReadSome(char* buffer, std::size_t size, std::size_t& bytesRead);

    enum class WriteResult { Written, WouldBlock, Error };
    // Writes what the socket takes now, without waiting.
    WriteResult WriteSome(const char* data, std::size_t size, std::size_t& bytesWritten);

    struct Readiness {
        bool Readable = false;
        bool Writable = false;
    };
    // Waits up to `timeoutMs` for data to read (or the peer closing) and, when
    // `wantWrite`, for room to write. Returns early, with nothing ready, when Wake is
    // called or the socket is closed.
    // With `wantRead` false, data to read does not end the wait (the peer closing
    // still may).
    Readiness Wait(int timeoutMs, bool wantWrite, bool wantRead = true);
    // Interrupts a Wait in progress (or makes the next one return at once).
    void Wake();

    // The error text of the last failed call, for reports.
    static std::string ErrorText(int error);

  private:
    int fd_;
    int wakeFd_;  // eventfd that Wake signals
    sockaddr_in peer_;
    uint64_t acceptNumber_;
    std::atomic<bool> connected_{true};
    std::atomic<bool> registered_{false};
};

}  // namespace listener
