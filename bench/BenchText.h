// The wire texts of the load generator: the text of a benchmark message, which carries
// its sender, sequence number and send time, the parts of a received IRC line that the
// generator looks at, and the loopback source address of each client.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TMessageStamp {
    int Sender = 0;
    uint32_t Sequence = 0;
    int64_t SentNs = 0;
};

// The smallest text that holds every stamp ("s" sender, "q" sequence, "t" send time).
constexpr std::size_t kMinMessageText = 48;

// A text of exactly `size` bytes (at least kMinMessageText): the stamp, then padding.
std::string EncodeMessageText(const TMessageStamp& stamp, std::size_t size);
std::optional<TMessageStamp> DecodeMessageText(std::string_view text);

// A received line without its CR LF, split as far as the generator needs it.
struct TReceivedLine {
    std::string_view Command;   // "PRIVMSG", "PING", "376", ...
    std::string_view Params;    // everything after the command and its blank
    std::string_view Trailing;  // the text after the first " :" of the parameters, if any
};
TReceivedLine SplitReceivedLine(std::string_view line);

// The IPv4 source address (host byte order) of client `index`: 127.0.0.2 upwards,
// skipping the addresses whose last byte is 0, 1 or 255 (127.0.0.254, then 127.0.1.2).
uint32_t ClientAddress(int index);
