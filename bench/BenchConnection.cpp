// Lines end at LF; a CR before it is dropped as well.
#include "bench/BenchConnection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

sockaddr_in SocketAddress(uint32_t address, uint16_t port) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = htonl(address);
    socketAddress.sin_port = htons(port);
    return socketAddress;
}

// Answers the lines of `text` one by one and the number of bytes they took.
std::size_t EachLine(std::string_view text, const std::function<void(std::string_view)>& onLine) {
    std::size_t start = 0;
    for (;;) {
        const auto* newline =
            static_cast<const char*>(std::memchr(text.data() + start, '\n', text.size() - start));
        if (newline == nullptr)
            return start;
        auto end = static_cast<std::size_t>(newline - text.data());
        const auto next = end + 1;
        if (end > start && text[end - 1] == '\r')
            --end;
        onLine(text.substr(start, end - start));
        start = next;
    }
}

}  // namespace

int TBenchConnection::StartConnect(uint32_t source, uint32_t server, uint16_t port) {
    Close();
    Fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (Fd_ < 0)
        return errno;
    const int on = 1;
    ::setsockopt(Fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const auto local = SocketAddress(source, 0);
    const auto remote = SocketAddress(server, port);
    if (::bind(Fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) < 0)
        return errno;
    if (::connect(Fd_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) < 0 &&
        errno != EINPROGRESS)
        return errno;
    return 0;
}

int TBenchConnection::ConnectOutcome() const {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(Fd_, SOL_SOCKET, SO_ERROR, &error, &length) < 0)
        return errno;
    return error;
}

void TBenchConnection::Close() {
    if (Fd_ >= 0)
        ::close(Fd_);
    Fd_ = -1;
    Pending_.clear();
    Partial_.clear();
}

bool TBenchConnection::Send(std::string_view bytes) {
    if (!Pending_.empty()) {
        Pending_.append(bytes);
        return FlushPending();
    }
    const auto written = ::send(Fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (written < 0 && errno != EAGAIN)
        return false;
    Pending_.assign(bytes.substr(written < 0 ? 0 : static_cast<std::size_t>(written)));
    return true;
}

bool TBenchConnection::FlushPending() {
    if (Pending_.empty())
        return true;
    const auto written = ::send(Fd_, Pending_.data(), Pending_.size(), MSG_NOSIGNAL);
    if (written < 0)
        return errno == EAGAIN;
    Pending_.erase(0, static_cast<std::size_t>(written));
    return true;
}

long TBenchConnection::Receive(std::span<char> scratch) {
    const auto received = ::recv(Fd_, scratch.data(), scratch.size(), 0);
    if (received < 0)
        return errno == EAGAIN ? -2 : -1;
    return received;
}

void TBenchConnection::CutLines(std::span<const char> received,
                                const std::function<void(std::string_view)>& onLine) {
    const std::string_view text(received.data(), received.size());
    if (Partial_.empty()) {
        Partial_.assign(text.substr(EachLine(text, onLine)));
        return;
    }
    Partial_.append(text);
    Partial_.erase(0, EachLine(Partial_, onLine));
}
