// One thread polls the listening socket and every client; writes are blocking, which is
// safe because the load generator reads everything it is sent. The fault falls on the
// tenth relayed line.
#include "bench/tests/FakeRelayServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kFaultyLine = 10;

struct TFakeClient {
    int Fd;
    std::string Nick;
    std::string Input;
};

void SendAll(int fd, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const auto written = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (written <= 0)
            return;
        sent += static_cast<std::size_t>(written);
    }
}

// Relays lines to receivers and spoils the tenth one as the fault says.
class TRelay {
  public:
    explicit TRelay(TFakeRelayServer::EFault fault) : Fault_(fault) {}

    void Deliver(int fd, const std::string& line) {
        using EFault = TFakeRelayServer::EFault;
        const int number = ++Relayed_;
        if (number == kFaultyLine && Fault_ == EFault::DropOne)
            return;
        if (number == kFaultyLine && Fault_ == EFault::SwapTwo) {
            HeldFd_ = fd;
            Held_ = line;
            return;
        }
        SendAll(fd, line);
        if (number == kFaultyLine && Fault_ == EFault::DuplicateOne)
            SendAll(fd, line);
        if (!Held_.empty() && fd == HeldFd_) {
            SendAll(fd, Held_);
            Held_.clear();
        }
    }

  private:
    TFakeRelayServer::EFault Fault_;
    int Relayed_ = 0;
    int HeldFd_ = -1;
    std::string Held_;
};

void HandleLine(std::vector<TFakeClient>& clients, std::size_t index, const std::string& line,
                TRelay& relay) {
    auto& client = clients[index];
    if (line.rfind("NICK ", 0) == 0) {
        client.Nick = line.substr(5);
    } else if (line.rfind("USER ", 0) == 0) {
        SendAll(client.Fd, ":fake 376 " + client.Nick + " :End of MOTD\r\n");
    } else if (line.rfind("JOIN ", 0) == 0) {
        SendAll(client.Fd, ":fake 366 " + client.Nick + " " + line.substr(5) + " :End\r\n");
    } else if (line.rfind("PRIVMSG ", 0) == 0) {
        const auto target = line.substr(8, line.find(' ', 8) - 8);
        const std::string relayed = ":" + client.Nick + "!u@h " + line + "\r\n";
        for (std::size_t other = 0; other < clients.size(); ++other)
            if (other != index && (target[0] == '#' || clients[other].Nick == target))
                relay.Deliver(clients[other].Fd, relayed);
    }
}

}  // namespace

TFakeRelayServer::TFakeRelayServer(EFault fault) : Fault_(fault) {
    ListenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(ListenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
        ::listen(ListenFd_, 64) < 0 ||
        ::getsockname(ListenFd_, reinterpret_cast<sockaddr*>(&address), &length) < 0)
        throw std::runtime_error("fake relay server cannot listen");
    Port_ = ntohs(address.sin_port);
    Thread_ = std::thread([this] { Serve(); });
}

TFakeRelayServer::~TFakeRelayServer() {
    Stop_ = true;
    Thread_.join();
    ::close(ListenFd_);
}

void TFakeRelayServer::Serve() {
    std::vector<TFakeClient> clients;
    TRelay relay(Fault_);
    while (!Stop_) {
        std::vector<pollfd> polled{{ListenFd_, POLLIN, 0}};
        for (const auto& client : clients)
            polled.push_back({client.Fd, POLLIN, 0});
        if (::poll(polled.data(), polled.size(), 20) <= 0)
            continue;
        if (polled[0].revents & POLLIN)
            clients.push_back({::accept4(ListenFd_, nullptr, nullptr, SOCK_CLOEXEC), "", ""});
        for (std::size_t i = 1; i < polled.size(); ++i) {
            if (!(polled[i].revents & (POLLIN | POLLHUP)))
                continue;
            auto& client = clients[i - 1];
            char buffer[4096];
            const auto received = ::recv(client.Fd, buffer, sizeof buffer, 0);
            if (received <= 0) {
                ::close(client.Fd);
                client.Fd = -1;  // poll passes over it from now on
                continue;
            }
            client.Input.append(buffer, static_cast<std::size_t>(received));
            for (std::size_t end; (end = client.Input.find("\r\n")) != std::string::npos;) {
                const std::string line = client.Input.substr(0, end);
                client.Input.erase(0, end + 2);
                HandleLine(clients, i - 1, line, relay);
            }
        }
    }
    for (const auto& client : clients)
        if (client.Fd >= 0)
            ::close(client.Fd);
}
