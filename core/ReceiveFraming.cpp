#include "core/ReceiveFraming.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::string_view kLineEnd = "\r\n";
}

void TReceiveFraming::Reset() {
    buffer_.clear();
    lineStart_ = 0;
    burstBytes_ = 0;
}

bool TReceiveFraming::TakeRead(std::string_view bytes) {
    if (burstBytes_ + bytes.size() > kBurstLimit)
        return false;
    burstBytes_ += bytes.size();
    while (!bytes.empty()) {
        const std::string_view step = bytes.substr(0, kStepSize);
        buffer_.append(step.data(), strnlen(step.data(), step.size()));
        bytes.remove_prefix(step.size());
    }
    return true;
}

std::optional<std::string_view> TReceiveFraming::NextLine() {
    const auto lineEnd = buffer_.find(kLineEnd, lineStart_);
    if (lineEnd == std::string::npos)
        return std::nullopt;
    const auto start = lineStart_;
    lineStart_ = lineEnd + kLineEnd.size();
    return std::string_view(buffer_).substr(start, lineStart_ - start);
}

bool TReceiveFraming::KeepRemainder() {
    buffer_.erase(0, lineStart_);
    lineStart_ = 0;
    return buffer_.size() <= lineBufferLimit_;
}
