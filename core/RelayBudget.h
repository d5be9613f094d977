// How much a connection may make the server relay to others. Every line relayed on
// its behalf costs its size once, however many members of a channel receive it, so
// that no one peer receives more from this connection than the budget allows. The
// budget fills at a steady rate up to a burst; while it is spent, the connection's
// input is not read, and the client's own sending slows down with it.
#pragma once

#include <cstddef>
#include <cstdint>

class TRelayBudget {
  public:
    // A rate of 0 is no limit.
    TRelayBudget(uint32_t bytesPerSecond, uint32_t burstBytes)
        : bytesPerSecond_(bytesPerSecond), burstBytes_(burstBytes) {}

    // A full budget, as of `now` (a millisecond counter value).
    void Reset(uint32_t now);
    void Spend(std::size_t bytes) { available_ -= static_cast<int64_t>(bytes); }
    // Milliseconds until the budget is no longer overspent; 0 when it is not.
    uint32_t MsUntilAvailable(uint32_t now);

  private:
    void Refill(uint32_t now);

    const uint32_t bytesPerSecond_;
    const uint32_t burstBytes_;
    int64_t available_ = 0;  // below 0: overspent
    uint32_t lastRefill_ = 0;
};
