// One accepted TCP connection: non-blocking reads and writes, a wait for readiness
// that another thread can interrupt, and closing that any thread may request.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <string>

namespace listener {

class TClientSocket {
  public:
    // Takes ownership of `fd` and puts it in non-blocking mode.
    TClientSocket(int fd, const sockaddr_in& peer);
    ~TClientSocket();
    TClientSocket(const TClientSocket&) = delete;
    TClientSocket& operator=(const TClientSocket&) = delete;

    // The peer's IPv4 address in dotted-decimal form.
    std::string PeerAddress() const;
    // The name a reverse lookup of the peer's address gives; empty when it fails.
    std::string PeerHostName() const;

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
    Readiness Wait(int timeoutMs, bool wantWrite);
    // Interrupts a Wait in progress (or makes the next one return at once).
    void Wake();

    // The error text of the last failed call, for reports.
    static std::string ErrorText(int error);

  private:
    int fd_;
    int wakeFd_;  // eventfd that Wake signals
    sockaddr_in peer_;
    std::atomic<bool> connected_{true};
};

}  // namespace listener
