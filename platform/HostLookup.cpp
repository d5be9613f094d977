#include "platform/HostLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
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
    THostLookupLimits limits;
    std::mutex mutex;
    std::condition_variable placeFreed;
    int running = 0;
    std::map<uint32_t, int> runningPerNetwork;
    std::map<in_addr_t, std::shared_future<std::string>> runningFor;  // by address

    static uint32_t NetworkOf(in_addr address) { return ntohl(address.s_addr) >> 8; }

    // With `mutex` held.
    bool HasPlaceFor(in_addr address) {
        const auto network = runningPerNetwork.find(NetworkOf(address));
        const int inNetwork = network == runningPerNetwork.end() ? 0 : network->second;
        return running < limits.MaxRunning && inNetwork < limits.MaxRunningPerNetwork;
    }
    void Take(in_addr address, std::shared_future<std::string> answer) {
        ++running;
        ++runningPerNetwork[NetworkOf(address)];
        runningFor.emplace(address.s_addr, std::move(answer));
    }
    void Release(in_addr address) {
        std::lock_guard lock(mutex);
        --running;
        const auto network = runningPerNetwork.find(NetworkOf(address));
        if (--network->second == 0)
            runningPerNetwork.erase(network);
        runningFor.erase(address.s_addr);
        placeFreed.notify_all();
    }
};

THostResolver SystemResolver() {
    return {SystemNameOf, SystemAddressesOf};
}

THostNameLookup::THostNameLookup(THostResolver resolver, THostLookupLimits limits)
    : shared_(std::make_shared<TShared>(std::move(resolver), limits)) {}

int THostNameLookup::Running() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->running;
}

std::string THostNameLookup::ConfirmedName(in_addr address) const {
    TShared& shared = *shared_;
    std::shared_future<std::string> answer;
    {
        std::unique_lock lock(shared.mutex);
        if (const auto running = shared.runningFor.find(address.s_addr);
            running != shared.runningFor.end()) {
            answer = running->second;  // the address's lookup runs already: share it
        } else if (!shared.placeFreed.wait_for(lock, shared.limits.PlaceWait,
                                               [&] { return shared.HasPlaceFor(address); })) {
            return {};
        } else {
            std::promise<std::string> promise;
            answer = promise.get_future().share();
            shared.Take(address, answer);
            // The resolver cannot be interrupted, so it runs on a thread of its own that
            // owns everything it touches; the caller waits only until the deadline.
            try {
                std::thread([shared = shared_, promise = std::move(promise), address]() mutable {
                    std::string name;
                    try {
                        name = ForwardConfirmedName(shared->resolver, address);
                    } catch (...) {
                        name.clear();  // a lookup that fails in any way names nothing
                    }
                    shared->Release(address);  // before the answer: its place is free by then
                    promise.set_value(std::move(name));
                }).detach();
            } catch (const std::system_error&) {
                lock.unlock();
                shared.Release(address);
                return {};  // no thread to be had: the lookup fails
            }
        }
    }
    if (answer.wait_for(shared.limits.Timeout) != std::future_status::ready)
        return {};
    return answer.get();
}

std::string ConfirmedHostName(in_addr address) {
    static const THostNameLookup lookup(SystemResolver(), THostLookupLimits{});
    return lookup.ConfirmedName(address);
}

}  // namespace platform
