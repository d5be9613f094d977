// Message texts are plain ASCII, so every server relays them unchanged.
#include "bench/BenchText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

std::string EncodeMessageText(const TMessageStamp& stamp, std::size_t size) {
    char head[kMinMessageText + 1];
    const int length = std::snprintf(head, sizeof head, "s%d q%u t%lld ", stamp.Sender,
                                     stamp.Sequence, static_cast<long long>(stamp.SentNs));
    std::string text(head, static_cast<std::size_t>(length));
    text.resize(std::max(size, text.size()), 'x');
    return text;
}

namespace {

// Reads "<tag><decimal> " at the front of `text` and moves past it.
template <typename TNumber>
bool TakeField(std::string_view& text, char tag, TNumber& value) {
    if (text.empty() || text.front() != tag)
        return false;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data() + 1, end, value);
    if (error != std::errc() || stop == end || *stop != ' ')
        return false;
    text.remove_prefix(static_cast<std::size_t>(stop + 1 - text.data()));
    return true;
}

}  // namespace

std::optional<TMessageStamp> DecodeMessageText(std::string_view text) {
    TMessageStamp stamp;
    if (TakeField(text, 's', stamp.Sender) && TakeField(text, 'q', stamp.Sequence) &&
        TakeField(text, 't', stamp.SentNs) && stamp.Sender >= 0)
        return stamp;
    return std::nullopt;
}

TReceivedLine SplitReceivedLine(std::string_view line) {
    if (!line.empty() && line.front() == ':') {
        const auto blank = line.find(' ');
        line.remove_prefix(blank == std::string_view::npos ? line.size() : blank + 1);
    }
    TReceivedLine parts;
    const auto blank = line.find(' ');
    parts.Command = line.substr(0, blank);
    if (blank == std::string_view::npos)
        return parts;
    parts.Params = line.substr(blank + 1);
    if (!parts.Params.empty() && parts.Params.front() == ':') {
        parts.Trailing = parts.Params.substr(1);
    } else if (const auto colon = parts.Params.find(" :"); colon != std::string_view::npos) {
        parts.Trailing = parts.Params.substr(colon + 2);
    }
    return parts;
}

uint32_t ClientAddress(int index) {
    // The last byte runs from 2 to 254; the bytes above it count up from 127.0.0.
    constexpr uint32_t kPerLastByte = 253;
    const auto value = static_cast<uint32_t>(index);
    return 0x7F000000u + (value / kPerLastByte << 8) + 2 + value % kPerLastByte;
}
