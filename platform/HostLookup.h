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

// How long a lookup may keep a new connection waiting, and how many may run at once.
// The resolver cannot be interrupted, so a lookup that outlives its caller's wait
// finishes in the background, holding its place until the resolver gives up (10 s
// by default when a name server never answers). The bounds keep peers whose name
// servers never answer from taking the places of everyone else's lookups: one
// lookup per address (later connections from it share the running one), a share per
// network (/24), and a total.
struct THostLookupLimits {
    // The longest a caller waits for the answer; a lookup still running then counts as
    // failed (the connection shows the dotted address) and its answer is dropped.
    std::chrono::milliseconds Timeout{2000};
    // The longest a caller waits for a place when its network's share or the total is
    // taken; then the lookup fails without asking the resolver.
    std::chrono::milliseconds PlaceWait{500};
    int MaxRunning = 256;
    int MaxRunningPerNetwork = 16;
};

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
    THostNameLookup(THostResolver resolver, THostLookupLimits limits);

    // The name of `address` when the resolver names it and gives the address back for
    // that name, all within the limits' waits; empty otherwise.
    std::string ConfirmedName(in_addr address) const;
    // Lookups started and not yet finished, those whose caller gave up included.
    int Running() const;

  private:
    struct TShared;  // what a lookup's thread may still use after its caller left
    std::shared_ptr<TShared> shared_;
};

// ConfirmedName through the system's resolver with the limits above, shared by the
// whole process.
std::string ConfirmedHostName(in_addr address);

}  // namespace platform
