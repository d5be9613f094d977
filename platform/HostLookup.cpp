#include "platform/HostLookup.h"

#include <netdb.h>
#include <sys/socket.h>

#include <atomic>
#include <future>
#include <system_error>
#include <thread>

namespace platform {

namespace {

std::string SystemNameOf(in_addr address) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr = address;
    char host[NI_MAXHOST] = {};
    const int result = getnameinfo(reinterpret_cast<const sockaddr*>(&peer), sizeof peer, host,
                                   sizeof host, nullptr, 0, NI_NAMEREQD);
    return result == 0 ? std::string(host) : std::string();
}

std::vector<in_addr> SystemAddressesOf(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0)
        return {};
    std::vector<in_addr> addresses;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next)
        addresses.push_back(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr);
    freeaddrinfo(found);
    return addresses;
}

// The reverse name of `address` when its forward lookup leads back to the address:
// a peer that answers for its own reverse zone can name itself anything, but only
// the owner of a name's forward zone can make that name lead to the peer.
std::string ForwardConfirmedName(const THostResolver& resolver, in_addr address) {
    std::string name = resolver.NameOf(address);
    if (name.empty())
        return {};
    for (const in_addr& forward : resolver.AddressesOf(name)) {
        if (forward.s_addr == address.s_addr)
            return name;
    }
    return {};
}

}  // namespace

struct THostNameLookup::TShared {
    THostResolver resolver;
    int maxRunning;
    std::atomic<int> running{0};
};

THostResolver SystemResolver() {
    return {SystemNameOf, SystemAddressesOf};
}

THostNameLookup::THostNameLookup(THostResolver resolver, std::chrono::milliseconds timeout,
                                 int maxRunning)
    : shared_(std::make_shared<TShared>(std::move(resolver), maxRunning)), timeout_(timeout) {}

int THostNameLookup::Running() const {
    return shared_->running.load(std::memory_order_acquire);
}

std::string THostNameLookup::ConfirmedName(in_addr address) const {
    if (shared_->running.fetch_add(1, std::memory_order_acq_rel) >= shared_->maxRunning) {
        shared_->running.fetch_sub(1, std::memory_order_acq_rel);
        return {};
    }
    // The resolver cannot be interrupted, so it runs on a thread of its own that owns
    // everything it touches; the caller waits for its answer only until the deadline.
    std::promise<std::string> promise;
    std::future<std::string> answer = promise.get_future();
    try {
        std::thread([shared = shared_, promise = std::move(promise), address]() mutable {
            std::string name;
            try {
                name = ForwardConfirmedName(shared->resolver, address);
            } catch (...) {
                name.clear();  // a lookup that fails in any way names nothing
            }
            shared->running.fetch_sub(1, std::memory_order_acq_rel);
            promise.set_value(std::move(name));
        }).detach();
    } catch (const std::system_error&) {
        shared_->running.fetch_sub(1, std::memory_order_acq_rel);
        return {};  // no thread to be had: the lookup fails
    }
    if (answer.wait_for(timeout_) != std::future_status::ready)
        return {};
    return answer.get();
}

std::string ConfirmedHostName(in_addr address) {
    static const THostNameLookup lookup(SystemResolver(), kHostLookupTimeout,
                                        kMaxHostLookupsRunning);
    return lookup.ConfirmedName(address);
}

}  // namespace platform
