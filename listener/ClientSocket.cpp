#include "listener/ClientSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/HostLookup.h"

namespace listener {

namespace {
constexpr int kSendBufferBytes = 64 * 1024;  // the kernel doubles it for its bookkeeping
}

TClientSocket::TClientSocket(int fd, const sockaddr_in& peer, uint64_t acceptNumber)
    : fd_(fd),
      wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      peer_(peer),
      acceptNumber_(acceptNumber) {
    if (wakeFd_ < 0) {
        ::close(fd_);
        throw std::runtime_error(ErrorText(errno));
    }
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    // Every line is written as soon as it is complete; without this, the second of two
    // lines written in a row waits for the peer's delayed acknowledgement of the first.
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // The kernel keeps little of what the peer has not read yet (its own default
    // grows to megabytes): the rest waits in the connection's bounded queue, whose
    // bound then is what ends a peer that stops reading, and a thousand idle peers
    // cannot hold gigabytes of kernel memory.
    setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &kSendBufferBytes, sizeof kSendBufferBytes);
}

TClientSocket::~TClientSocket() {
    ::close(fd_);
    ::close(wakeFd_);
}

std::string TClientSocket::PeerAddress() const {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &peer_.sin_addr, text, sizeof text);
    return text;
}

std::string TClientSocket::PeerHostName() const {
    return platform::ConfirmedHostName(peer_.sin_addr);
}

void TClientSocket::Close() {
    if (connected_.exchange(false, std::memory_order_acq_rel)) {
        ::shutdown(fd_, SHUT_RDWR);
        Wake();
    }
}

TClientSocket::ReadResult TClientSocket::ReadSome(char* buffer, std::size_t size,
                                                  std::size_t& bytesRead) {
    bytesRead = 0;
    ssize_t result;
    do {
        result = ::recv(fd_, buffer, size, 0);
    } while (result < 0 && errno == EINTR);
    if (result > 0) {
        bytesRead = static_cast<std::size_t>(result);
        return ReadResult::Data;
    }
    if (result == 0)
        return ReadResult::EndOfStream;
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? ReadResult::WouldBlock : ReadResult::Error;
}

TClientSocket::WriteResult TClientSocket::WriteSome(const char* data, std::size_t size,
                                                    std::size_t& bytesWritten) {
    bytesWritten = 0;
    ssize_t result;
    do {
        result = ::send(fd_, data, size, MSG_NOSIGNAL);
    } while (result < 0 && errno == EINTR);
    if (result >= 0) {
        bytesWritten = static_cast<std::size_t>(result);
        return WriteResult::Written;
    }
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? WriteResult::WouldBlock : WriteResult::Error;
}

TClientSocket::Readiness TClientSocket::Wait(int timeoutMs, bool wantWrite, bool wantRead) {
    const int events = (wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0);
    pollfd fds[2] = {{fd_, static_cast<short>(events), 0}, {wakeFd_, POLLIN, 0}};
    Readiness readiness;
    if (::poll(fds, 2, timeoutMs) <= 0)
        return readiness;
    if (fds[1].revents & POLLIN) {
        eventfd_t discarded;
        eventfd_read(wakeFd_, &discarded);
    }
    readiness.Readable = fds[0].revents & (POLLIN | POLLHUP | POLLERR);
    readiness.Writable = fds[0].revents & POLLOUT;
    return readiness;
}

void TClientSocket::Wake() {
    eventfd_write(wakeFd_, 1);
}

std::string TClientSocket::ErrorText(int error) {
    return std::strerror(error);
}

}  // namespace listener
