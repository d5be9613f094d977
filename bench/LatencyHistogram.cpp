// Bucket layout: values below 128 ns have a bucket each; above, every power of two
// is cut into 128 equal buckets, so a bucket is at most 1/128 of its lower bound wide.
#include "bench/LatencyHistogram.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

constexpr int kSubBucketBits = 7;
constexpr uint64_t kSubBuckets = uint64_t{1} << kSubBucketBits;
constexpr int kValueBits = 63;
constexpr std::size_t kBucketCount = kSubBuckets * (kValueBits - kSubBucketBits + 1);

std::size_t BucketOf(uint64_t value) {
    if (value < kSubBuckets)
        return value;
    const int shift = std::bit_width(value) - 1 - kSubBucketBits;
    return kSubBuckets * static_cast<std::size_t>(shift) + (value >> shift);
}

// The largest value that falls into `bucket`.
uint64_t UpperEndOf(std::size_t bucket) {
    if (bucket < kSubBuckets)
        return bucket;
    const auto shift = bucket / kSubBuckets - 1;
    const uint64_t first = (kSubBuckets + bucket % kSubBuckets) << shift;
    return first + ((uint64_t{1} << shift) - 1);
}

}  // namespace

TLatencyHistogram::TLatencyHistogram() : Buckets_(kBucketCount) {}

void TLatencyHistogram::Add(int64_t nanoseconds) {
    const auto value = static_cast<uint64_t>(std::max<int64_t>(nanoseconds, 0));
    ++Buckets_[BucketOf(value)];
    ++Count_;
    Max_ = std::max(Max_, static_cast<int64_t>(value));
}

int64_t TLatencyHistogram::Percentile(double fraction) const {
    if (Count_ == 0)
        return 0;
    const auto rank = std::max<uint64_t>(
        1, static_cast<uint64_t>(std::ceil(std::clamp(fraction, 0.0, 1.0) * Count_)));
    uint64_t seen = 0;
    for (std::size_t bucket = 0; bucket < Buckets_.size(); ++bucket) {
        seen += Buckets_[bucket];
        if (seen >= rank)
            return std::min(static_cast<int64_t>(UpperEndOf(bucket)), Max_);
    }
    return Max_;
}
