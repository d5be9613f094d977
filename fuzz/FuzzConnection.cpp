// A client of the dispatcher's fuzz target on a socket pair.
#include "fuzz/FuzzConnection.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <stdexcept>

#include "core/ReceiveFraming.h"
#include "fuzz/FuzzTargets.h"
#include "listener/ClientSocket.h"

namespace fuzz {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr uint16_t kFirstPort = 40000;
// Room for the reply's own text around the names a line carries.
constexpr std::size_t kLineFrameBytes = 512;

}  // namespace

void TClientEnd::Reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

std::size_t TFuzzConnection::MaxSentLineBytes(const TConnectionTimings& timings) {
    const std::size_t receivedLine = timings.LineBufferLimitBytes + TReceiveFraming::kBurstLimit;
    return 3 * receivedLine + kLineFrameBytes;
}

TFuzzConnection::TFuzzConnection(TServerCore& core, TFuzzHost& host, int index)
    : thread_(core), host_(host), index_(index), maxLineBytes_(MaxSentLineBytes(core.Timings)) {}

void TFuzzConnection::Start() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::runtime_error("no socket pair to be had");
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK + index_);  // an address of its own
    peer.sin_port = htons(static_cast<uint16_t>(kFirstPort + index_));
    thread_.AdoptSocket(std::make_shared<listener::TClientSocket>(ends[0], peer));
    client_.Reset(ends[1]);
    received_.clear();
    live_ = true;
    ++host_.LiveConnections;
    thread_.StartConnection();
    // The server takes one user per host: each connection is given a host name of its
    // own, as it has an address of its own.
    thread_.PeerHost = "client" + std::to_string(index_) + ".fuzz";
    thread_.SameHost = false;
}

void TFuzzConnection::Send(std::string_view bytes) {
    // A client that has half-closed cannot send; the server has noticed that already.
    ::send(client_.Fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    Serve();
}

void TFuzzConnection::HangUp() {
    client_.Reset();
    received_.clear();
    Serve();
}

void TFuzzConnection::HalfClose() {
    ::shutdown(client_.Fd(), SHUT_WR);
    Serve();
}

void TFuzzConnection::Serve() {
    if (live_)
        thread_.ServeOnce(0);
}

void TFuzzConnection::EndIfClosed() {
    if (live_ && !thread_.ClientSocket()->Connected())
        End();
}

void TFuzzConnection::Stop() {
    if (!live_)
        return;
    thread_.ClientSocket()->Close();
    End();
}

void TFuzzConnection::End() {
    thread_.EndConnection();
    live_ = false;
    --host_.LiveConnections;
    ReadOutput();  // the last lines, up to the end of the stream
    thread_.AdoptSocket(nullptr);
    client_.Reset();
}

void TFuzzConnection::ReadOutput() {
    if (client_.Fd() < 0)
        return;
    char buffer[4096];
    ssize_t got;
    while ((got = ::recv(client_.Fd(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
        received_.append(buffer, static_cast<std::size_t>(got));
    Require(got == 0 || errno == EAGAIN || errno == EWOULDBLOCK,
            "the client's end of the connection failed");
    std::size_t start = 0;
    for (auto end = received_.find(kLineEnd); end != std::string::npos;
         end = received_.find(kLineEnd, start)) {
        CheckLine(std::string_view(received_).substr(start, end + kLineEnd.size() - start));
        start = end + kLineEnd.size();
    }
    received_.erase(0, start);
}

void TFuzzConnection::CheckLine(std::string_view line) const {
    Require(line.size() <= maxLineBytes_, "a line is longer than the server may send");
    Require(line.find('\0') == std::string_view::npos, "a line holds a zero byte");
    Require(line.starts_with(':') || line.starts_with("PING :") ||
                line.starts_with("ERROR :ClosingLink: "),
            "a line is neither a reply, a relayed line, a keep-alive nor a closing error");
}

}  // namespace fuzz
