// Options are "--name value" pairs; every value is checked against the limits that
// keep a run bounded and fair to all servers.
#include "bench/GeneratorOptions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string_view>

#include "bench/BenchText.h"

namespace {

// A server ends a client that sends more than this many bytes at once.
constexpr std::size_t kBurstLimit = 768;
// "PRIVMSG " + target + " :" + CR LF around the text, for the channel "#bench" or a nick
// of up to six bytes ("bn1999": so at most 1000 senders).
constexpr std::size_t kCommandBytes = 18;
constexpr int kMaxSenders = 1000;
// Servers cut lines longer than 512 bytes; the relayed line adds the sender's prefix.
constexpr std::size_t kMaxSize = 400;

constexpr const char* kUsage =
    "usage: LoadGenerator --port P [--server-pid PID] [--label NAME] [--clients N]\n"
    "         [--senders S] [--window W [--until-first-receipt] | --rate MSGS_PER_S]\n"
    "         [--size BYTES] [--duration S] [--to-nick] [--connect-window C]\n"
    "         [--setup-timeout S] [--drain-timeout S]\n";

bool ParseNumber(std::string_view text, double& value) {
    char* end = nullptr;
    const std::string copy(text);
    value = std::strtod(copy.c_str(), &end);
    return !copy.empty() && *end == '\0';
}

template <typename TField>
std::function<bool(std::string_view)> WholeNumberInto(TField& field) {
    return [&field](std::string_view text) {
        double value = 0;
        if (!ParseNumber(text, value) || value != std::floor(value) || value < 0 || value > 1e9)
            return false;
        field = static_cast<TField>(value);
        return true;
    };
}

std::optional<std::string> CheckLimits(const TGeneratorOptions& options) {
    if (options.Clients < 2 || options.Clients > 60000)
        return "--clients must be 2 to 60000";
    if (options.Senders < 1 || options.Senders > std::min(options.Clients, kMaxSenders))
        return "--senders must be 1 to the number of clients, at most 1000";
    if (options.ToNick && options.Senders * 2 > options.Clients)
        return "--to-nick needs a receiver of its own for every sender";
    if (options.Size < kMinMessageText || options.Size > kMaxSize)
        return "--size must be " + std::to_string(kMinMessageText) + " to " +
               std::to_string(kMaxSize);
    if (options.Window < 1 || options.Window > options.BurstSafeWindow())
        return "--window times (size + 18) must stay below 768 bytes";
    if (options.Rate < 0 || options.Rate > 1e7 || options.DurationS < 0 ||
        options.DurationS > 3600 || options.SetupTimeoutS <= 0 || options.DrainTimeoutS <= 0)
        return "a rate, duration or timeout is out of range";
    if (options.UntilFirstReceipt && options.Rate > 0)
        return "--until-first-receipt is for the closed loop (--window), not --rate";
    if (options.ConnectWindow < 1)
        return "--connect-window must be at least 1";
    return std::nullopt;
}

}  // namespace

std::string TGeneratorOptions::Point() const {
    if (DurationS == 0)
        return std::to_string(Clients) + "/reg";
    std::string point = std::to_string(Clients) + "/" + std::to_string(Senders) + "/";
    point += Rate > 0 ? "r" + std::to_string(static_cast<long>(Rate))
                      : (UntilFirstReceipt ? "f" : "w") + std::to_string(Window);
    return ToNick ? point + "/nick" : point;
}

int TGeneratorOptions::BurstSafeWindow() const {
    return static_cast<int>((kBurstLimit - 1) / (Size + kCommandBytes));
}

std::optional<TGeneratorOptions> ParseGeneratorOptions(int argc, char** argv) {
    TGeneratorOptions options;
    const auto real = [](double& field) {
        return [&field](std::string_view text) { return ParseNumber(text, field); };
    };
    int port = 0;
    const std::map<std::string_view, std::function<bool(std::string_view)>> valued = {
        {"--port", WholeNumberInto(port)},
        {"--server-pid", WholeNumberInto(options.ServerPid)},
        {"--label", [&](std::string_view text) { return !(options.ServerLabel = text).empty(); }},
        {"--clients", WholeNumberInto(options.Clients)},
        {"--senders", WholeNumberInto(options.Senders)},
        {"--window", WholeNumberInto(options.Window)},
        {"--rate", real(options.Rate)},
        {"--size", WholeNumberInto(options.Size)},
        {"--duration", real(options.DurationS)},
        {"--connect-window", WholeNumberInto(options.ConnectWindow)},
        {"--setup-timeout", real(options.SetupTimeoutS)},
        {"--drain-timeout", real(options.DrainTimeoutS)},
    };
    std::optional<std::string> fault;
    for (int i = 1; i < argc && !fault; ++i) {
        const std::string_view name = argv[i];
        if (name == "--to-nick") {
            options.ToNick = true;
        } else if (name == "--until-first-receipt") {
            options.UntilFirstReceipt = true;
        } else if (const auto found = valued.find(name); found == valued.end()) {
            fault = "unknown option " + std::string(name);
        } else if (i + 1 == argc || !found->second(argv[++i])) {
            fault = "bad value for " + std::string(name);
        }
    }
    if (!fault && (port < 1 || port > 65535))
        fault = "--port (1 to 65535) is required";
    options.Port = static_cast<uint16_t>(port);
    if (!fault)
        fault = CheckLimits(options);
    if (fault) {
        std::fprintf(stderr, "LoadGenerator: %s\n%s", fault->c_str(), kUsage);
        return std::nullopt;
    }
    return options;
}
