// Load generator for fan-out benchmarks: one thread drives N loopback clients against
// one IRC server and prints one result line of key=value pairs (see bench/README.md).
//   LoadGenerator --port P [--server-pid PID] [--label NAME] [--clients N] ...
// Exit status: 0 when every message arrived once and in order, 1 when some did not or
// the server dropped a client, 2 for bad options, 3 when setup failed.
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "bench/GeneratorOptions.h"
#include "bench/LoadRun.h"

namespace {

std::string Figure(std::optional<double> value, int decimals) {
    if (!value)
        return "na";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, *value);
    return text;
}

std::optional<double> Ratio(double part, double whole) {
    return whole > 0 ? std::optional<double>(part / whole) : std::nullopt;
}

// What the server's resident memory grew by, per client, from idle to `withClients`.
std::optional<double> KiBPerClient(const TRunResult& result, std::optional<long> withClients,
                                   int clients) {
    if (!result.ResidentIdleKiB || !withClients)
        return std::nullopt;
    return static_cast<double>(*withClients - *result.ResidentIdleKiB) / clients;
}

void PrintResultLine(const TGeneratorOptions& options, const TRunResult& result) {
    // A percentile (1.0 for the largest) in milliseconds; "na" when nothing was measured.
    const auto milliseconds = [](const TLatencyHistogram& histogram, double fraction) {
        return Figure(histogram.Count()
                          ? std::optional<double>(histogram.Percentile(fraction) / 1e6)
                          : std::nullopt,
                      3);
    };
    const auto count = [](uint64_t value) { return std::to_string(value); };
    const auto kib = [](std::optional<long> value) {
        return value ? std::to_string(*value) : std::string("na");
    };
    const double deliveries = static_cast<double>(result.SendPhaseDeliveries);
    const std::string fields[][2] = {
        {"server", options.ServerLabel},
        {"point", options.Point()},
        {"clients", std::to_string(options.Clients)},
        {"senders", std::to_string(options.Senders)},
        {"mode", options.Rate > 0 ? "paced" : "closed"},
        {"window", std::to_string(options.Rate > 0 ? options.BurstSafeWindow() : options.Window)},
        {"in_flight_until", options.UntilFirstReceipt ? "first" : "last"},
        {"rate", Figure(options.Rate, 0)},
        {"size", std::to_string(options.Size)},
        {"target", options.ToNick ? "nick" : "channel"},
        {"duration_s", Figure(result.SendSeconds, 3)},
        {"sent", count(result.Sent)},
        {"deliveries", count(result.SendPhaseDeliveries)},
        {"deliveries_per_s", Figure(Ratio(deliveries, result.SendSeconds), 0)},
        {"p50_ms", milliseconds(result.Latency, 0.50)},
        {"p99_ms", milliseconds(result.Latency, 0.99)},
        {"max_ms", milliseconds(result.Latency, 1.0)},
        {"lost", count(result.Lost)},
        {"duplicated", count(result.Duplicated)},
        {"reordered", count(result.Reordered)},
        {"garbled", count(result.Garbled)},
        {"disconnected", std::to_string(result.Disconnected)},
        {"late_sends", count(result.LateSends)},
        {"register_s", Figure(result.RegisterSeconds, 3)},
        {"register_per_s",
         Figure(result.RegisterSeconds ? Ratio(options.Clients, *result.RegisterSeconds)
                                       : std::nullopt,
                1)},
        {"register_p50_ms", milliseconds(result.RegisterLatency, 0.50)},
        {"register_max_ms", milliseconds(result.RegisterLatency, 1.0)},
        {"server_cpu_us_per_delivery",
         Figure(result.ServerCpuMicroseconds ? Ratio(*result.ServerCpuMicroseconds, deliveries)
                                             : std::nullopt,
                3)},
        {"server_rss_idle_kib", kib(result.ResidentIdleKiB)},
        {"server_rss_registered_kib", kib(result.ResidentRegisteredKiB)},
        {"server_kib_per_registered_client",
         Figure(KiBPerClient(result, result.ResidentRegisteredKiB, options.Clients), 1)},
        {"server_rss_clients_kib", kib(result.ResidentWithClientsKiB)},
        {"server_kib_per_client",
         Figure(KiBPerClient(result, result.ResidentWithClientsKiB, options.Clients), 1)},
        {"generator_cpu_pct",
         Figure(Ratio(100 * result.GeneratorCpuSeconds, result.SendSeconds), 0)},
        {"status", result.Status},
    };
    std::string line = "result";
    for (const auto& [key, value] : fields)
        line += " " + key + "=" + value;
    std::puts(line.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = ParseGeneratorOptions(argc, argv);
    if (!options)
        return 2;
    try {
        TLoadRun run(*options);
        const TRunResult result = run.Run();
        PrintResultLine(*options, result);
        if (result.Status == "setup_failed")
            return 3;
        return result.Status == "ok" ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "LoadGenerator: %s\n", error.what());
        return 3;
    }
}
