// Latency histogram of the load generator: counts latencies in nanoseconds in buckets
// narrower than 1% of their value, so that the percentiles of millions of deliveries
// take a fixed 58 KiB instead of one number per delivery.
#pragma once

#include <cstdint>
#include <vector>

class TLatencyHistogram {
  public:
    TLatencyHistogram();

    void Add(int64_t nanoseconds);
    uint64_t Count() const { return Count_; }
    int64_t Max() const { return Max_; }
    // The latency that `fraction` (0 to 1) of the counted latencies do not exceed, given as
    // the upper end of its bucket but never above the largest latency seen; 0 when empty.
    int64_t Percentile(double fraction) const;

  private:
    std::vector<uint64_t> Buckets_;
    uint64_t Count_ = 0;
    int64_t Max_ = 0;
};
