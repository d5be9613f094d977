#include "tests/support/TestClient.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

TTestClient::TTestClient(uint16_t port, const std::string& localAddress) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        throw std::runtime_error("socket");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, localAddress.c_str(), &local.sin_addr);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0) {
        ::close(fd_);
        throw std::runtime_error("bind " + localAddress);
    }
    // Each line is sent at once: merged with the next, two lines could pass the
    // server's burst limit together.
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) < 0) {
        ::close(fd_);
        throw std::runtime_error("connect");
    }
}

TTestClient::~TTestClient() {
    ::close(fd_);
}

void TTestClient::SendRaw(std::string_view bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto result = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (result <= 0)
            return;  // the server closed the connection
        sent += static_cast<std::size_t>(result);
    }
}

bool TTestClient::Fill(int timeoutMs) {
    if (closed_)
        return false;
    pollfd fd{fd_, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) <= 0)
        return false;
    char buffer[4096];
    const auto result = ::recv(fd_, buffer, sizeof buffer, 0);
    if (result <= 0) {
        closed_ = true;
        return false;
    }
    received_.append(buffer, static_cast<std::size_t>(result));
    return true;
}

std::optional<std::string> TTestClient::ReadLine(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto end = received_.find("\r\n");
        if (end != std::string::npos) {
            std::string line = received_.substr(0, end + 2);
            received_.erase(0, end + 2);
            return line;
        }
        if (!Fill(RemainingMs(deadline)))
            return std::nullopt;
    }
}

std::vector<std::string> TTestClient::ReadUntil(std::string_view needle, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::string> lines;
    while (auto line = ReadLine(RemainingMs(deadline))) {
        lines.push_back(*line);
        if (line->find(needle) != std::string::npos)
            return lines;
    }
    ADD_FAILURE() << "no line containing \"" << needle << "\" arrived";
    return lines;
}

std::vector<std::string> TTestClient::Drain(int quietMs) {
    std::vector<std::string> lines;
    while (auto line = ReadLine(quietMs))
        lines.push_back(*line);
    return lines;
}

bool TTestClient::WaitClosed(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!closed_ && RemainingMs(deadline) > 0)
        Fill(RemainingMs(deadline));
    return closed_;
}

void TTestClient::Register(std::string_view nick, std::string_view user) {
    Send("NICK " + std::string(nick));
    Send("USER " + std::string(user) + " host server :Real Name");
    ReadUntil(" 376 ");
}
