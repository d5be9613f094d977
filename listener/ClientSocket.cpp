#include "listener/ClientSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace listener {

TClientSocket::TClientSocket(int fd, const sockaddr_in& peer)
    : fd_(fd), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), peer_(peer) {
    if (wakeFd_ < 0) {
        ::close(fd_);
        throw std::runtime_error(ErrorText(errno));
    }
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    // Every line is written as soon as it is complete; without this, the second of two
    // lines written in a row waits for the peer's delayed acknowledgement of the first.
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
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
    char host[NI_MAXHOST] = {};
    const int result = getnameinfo(reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_, host,
                                   sizeof host, nullptr, 0, NI_NAMEREQD);
    return result == 0 ? std::string(host) : std::string();
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

TClientSocket::Readiness TClientSocket::Wait(int timeoutMs, bool wantWrite) {
    pollfd fds[2] = {{fd_, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
                     {wakeFd_, POLLIN, 0}};
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
