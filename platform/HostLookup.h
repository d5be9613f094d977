// Host names of connecting peers: a reverse lookup whose name counts only when a
// forward lookup of that name gives the peer's address back, and that a new
// connection waits for only a bounded time.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The longest a new connection waits for its peer's host name. A lookup still
// running then counts as failed (the connection shows the dotted address) and
// finishes in the background, where its answer is dropped.
inline constexpr std::chrono::milliseconds kHostLookupTimeout{2000};
// Lookups that may run at once, those that outlived their wait included. A resolver
// that never answers keeps each of them for its own timeout (10 s by default);
// beyond this bound a lookup fails at once instead of starting one more thread, and
// its connection shows the dotted address. A working resolver answers within
// milliseconds, so only more new connections than this within those milliseconds
// meet the bound.
inline constexpr int kMaxHostLookupsRunning = 16;

// The two questions a host-name lookup asks of a resolver.
struct THostResolver {
    // The name the resolver gives for `address`; empty when it has none.
    std::function<std::string(in_addr address)> NameOf;
    // The IPv4 addresses the resolver gives for `name`; none when it has none.
    std::function<std::vector<in_addr>(const std::string& name)> AddressesOf;
};

// The system's resolver, as the machine configures it (hosts file, DNS).
THostResolver SystemResolver();

class THostNameLookup {
  public:
    THostNameLookup(THostResolver resolver, std::chrono::milliseconds timeout, int maxRunning);

    // The name of `address` when the resolver names it and gives the address back for
    // that name, all within the timeout; empty otherwise.
    std::string ConfirmedName(in_addr address) const;
    // Lookups started and not yet finished, those whose caller gave up included.
    int Running() const;

  private:
    struct TShared;  // what a lookup's thread may still use after its caller left
    std::shared_ptr<TShared> shared_;
    std::chrono::milliseconds timeout_;
};

// ConfirmedName through the system's resolver with the limits above, shared by the
// whole process.
std::string ConfirmedHostName(in_addr address);

}  // namespace platform
