#include "core/RelayBudget.h"

#include <algorithm>

#include "platform/Clock.h"

void TRelayBudget::Reset(uint32_t now) {
    available_ = burstBytes_;
    lastRefill_ = now;
}

void TRelayBudget::Refill(uint32_t now) {
    const uint32_t elapsed = platform::ElapsedMs(now, lastRefill_);
    const int64_t earned = int64_t{elapsed} * bytesPerSecond_ / 1000;
    if (earned == 0)
        return;  // keep the fraction of a byte for later
    available_ = std::min<int64_t>(available_ + earned, burstBytes_);
    lastRefill_ = now;
}

uint32_t TRelayBudget::MsUntilAvailable(uint32_t now) {
    if (available_ >= 0)
        return 0;
    Refill(now);
    if (available_ >= 0 || bytesPerSecond_ == 0)
        return 0;
    const int64_t missing = -available_;
    return static_cast<uint32_t>((missing * 1000 + bytesPerSecond_ - 1) / bytesPerSecond_);
}
