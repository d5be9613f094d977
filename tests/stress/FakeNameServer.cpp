#include "tests/stress/FakeNameServer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

constexpr uint16_t kTypeA = 1;
constexpr uint16_t kTypePtr = 12;
constexpr std::size_t kHeaderBytes = 12;

uint16_t Read16(const std::string& bytes, std::size_t at) {
    return static_cast<uint16_t>((static_cast<unsigned char>(bytes[at]) << 8) |
                                 static_cast<unsigned char>(bytes[at + 1]));
}

void Append16(std::string& bytes, uint16_t value) {
    bytes += static_cast<char>(value >> 8);
    bytes += static_cast<char>(value & 0xff);
}

// "victim.example.org" in the wire form of names: length-prefixed labels, then 0.
std::string EncodeName(const std::string& name) {
    std::string encoded;
    std::size_t start = 0;
    while (start < name.size()) {
        std::size_t end = name.find('.', start);
        if (end == std::string::npos)
            end = name.size();
        encoded += static_cast<char>(end - start);
        encoded += name.substr(start, end - start);
        start = end + 1;
    }
    return encoded + '\0';
}

// Reads the question's name at `at` into dotted form and moves `at` past it; false
// when the name, or the type and class after it, run past the message.
bool DecodeName(const std::string& query, std::size_t& at, std::string& name) {
    while (at < query.size() && query[at] != 0) {
        const auto length = static_cast<unsigned char>(query[at]);
        if (length > 63 || at + 1 + length > query.size())
            return false;
        if (!name.empty())
            name += '.';
        name += query.substr(at + 1, length);
        at += 1 + length;
    }
    ++at;
    return at + 4 <= query.size();
}

}  // namespace

TFakeNameServer::TFakeNameServer(const std::string& address, TRecords records, bool silent)
    : records_(std::move(records)), silent_(silent) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    stopFd_ = eventfd(0, EFD_CLOEXEC);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(53);
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    if (fd_ < 0 || stopFd_ < 0 ||
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0) {
        ::close(fd_);
        ::close(stopFd_);
        throw std::runtime_error("cannot listen on " + address + " port 53");
    }
    thread_ = std::thread(&TFakeNameServer::Serve, this);
}

TFakeNameServer::~TFakeNameServer() {
    eventfd_write(stopFd_, 1);
    thread_.join();
    ::close(fd_);
    ::close(stopFd_);
}

void TFakeNameServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN))
            return;
        char buffer[512];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const auto received =
            ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (received < static_cast<ssize_t>(kHeaderBytes))
            continue;
        ++questions_;
        if (silent_)
            continue;
        const std::string reply = Answer(std::string(buffer, static_cast<std::size_t>(received)));
        if (!reply.empty()) {
            ::sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                     length);
        }
    }
}

std::string TFakeNameServer::Answer(const std::string& query) const {
    std::size_t at = kHeaderBytes;
    std::string name;
    if (Read16(query, 4) != 1 || !DecodeName(query, at, name))
        return {};
    const uint16_t type = Read16(query, at);
    const std::string question = query.substr(kHeaderBytes, at + 4 - kHeaderBytes);

    std::string data;  // the answer's record data; none: the name has no such record
    if (type == kTypePtr && records_.Ptr.count(name)) {
        data = EncodeName(records_.Ptr.at(name));
    } else if (type == kTypeA && records_.A.count(name)) {
        in_addr address{};
        inet_pton(AF_INET, records_.A.at(name).c_str(), &address);
        data.assign(reinterpret_cast<const char*>(&address), sizeof address);
    }
    const bool known = records_.Ptr.count(name) || records_.A.count(name);

    std::string reply = query.substr(0, 2);  // the question's id
    // A response, authoritative, recursion as asked and available; unknown names
    // do not exist (rcode 3).
    Append16(reply, static_cast<uint16_t>(0x8480 | (Read16(query, 2) & 0x0100) | (known ? 0 : 3)));
    Append16(reply, 1);
    Append16(reply, data.empty() ? 0 : 1);
    Append16(reply, 0);
    Append16(reply, 0);
    reply += question;
    if (!data.empty()) {
        Append16(reply, 0xc00c);  // the question's name
        Append16(reply, type);
        Append16(reply, 1);  // class IN
        Append16(reply, 0);
        Append16(reply, 60);  // TTL
        Append16(reply, static_cast<uint16_t>(data.size()));
        reply += data;
    }
    return reply;
}
