// Fuzz target of the whole dispatcher on a real registry: four clients take turns to
// send bytes, hang up or half-close, and each step is served by the real connection
// code (framing, flood limit, handlers, output batch) with every relayed line really
// written to and read from a socket pair. After every step each line a client
// received is whole and plausible and the registry's invariants hold; at the end the
// server stops, every connection ends and the registry is empty. Each input starts
// from a fresh server, so that a run can be repeated. Each input runs twice: with the
// default client profile and text encoding, and with ClientProfile=Modern and
// TextEncoding=UTF-8, whose handlers read the same bytes differently.
//
// Input: steps separated by the byte 0xFF. A step's first byte chooses the client
// (bits 0 and 1) and what it does (bits 2 and 3: 0 or 1 it sends the rest of the
// step, 2 it hangs up, 3 it half-closes). A step for a client whose connection has
// ended connects it again first.
#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/Server.h"
#include "fuzz/FuzzConnection.h"
#include "fuzz/FuzzTargets.h"
#include "tests/support/RegistryInvariants.h"

namespace fuzz {

namespace {

constexpr int kClients = 4;
constexpr char kStepSeparator = '\xFF';
constexpr uint32_t kNever = 0x7FFFFFFF;  // a run is never old enough for a timer

enum class TAction { Send, HangUp, HalfClose };

TSettings FuzzSettings(bool modern) {
    TSettings settings;
    if (modern) {
        settings.ClientProfile = "Modern";
        settings.TextEncoding = "UTF-8";
    }
    settings.PingInterval = kNever / 1000;
    // The relay budget refills with the time that passes, which would make a run
    // depend on the machine's speed.
    settings.RelayBytesPerSecond = 0;
    settings.Port = 0;  // the server listens on a free port; the clients come on socket pairs
    return settings;
}

// Small bounds, so that short inputs reach them.
TConnectionTimings FuzzTimings() {
    TConnectionTimings timings;
    timings.WaitForDataMs = 0;
    timings.LoginTimeoutMs = kNever;
    timings.WriteStallTimeoutMs = kNever;
    timings.OutQueueLimitBytes = 4096;
    timings.LineBufferLimitBytes = 1024;
    return timings;
}

TAction ActionOf(uint8_t control) {
    switch ((control >> 2) & 3) {
        case 2:
            return TAction::HangUp;
        case 3:
            return TAction::HalfClose;
        default:
            return TAction::Send;
    }
}

class TDispatcherRun {
  public:
    explicit TDispatcherRun(bool modern)
        : server_(host_, "/nonexistent/TavoServerDaemon", 0, FuzzTimings()) {
        if (const auto failure = server_.Start(FuzzSettings(modern)))
            throw std::runtime_error(*failure);
        for (int i = 0; i < kClients; ++i)
            clients_[i] = std::make_unique<TFuzzConnection>(server_.Core(), host_, i);
    }

    void Step(uint8_t control, std::string_view bytes) {
        TFuzzConnection& client = *clients_[control % kClients];
        if (!client.Live())
            client.Start();
        switch (ActionOf(control)) {
            case TAction::Send:
                client.Send(bytes);
                break;
            case TAction::HangUp:
                client.HangUp();
                break;
            case TAction::HalfClose:
                client.HalfClose();
                break;
        }
        Settle();
    }

    // The server stops: every connection ends, and nothing of them stays behind.
    void Stop() {
        for (auto& client : clients_) {
            client->Stop();
            CheckRegistry();
        }
        std::lock_guard lock(server_.Core().Registry.Lock);
        Require(server_.Core().Registry.Users.Count() == 0 &&
                    server_.Core().Registry.Channels.Count() == 0,
                "records remain after every connection has ended");
    }

  private:
    // What the connections' threads would do next: end the connections whose sockets
    // were closed, write what waits for room; once the writer has written what the
    // handlers queued, the clients read.
    void Settle() {
        for (auto& client : clients_)
            client->EndIfClosed();
        for (auto& client : clients_)
            client->Serve();
        server_.Core().Writer.WaitUntilIdle();  // what the handlers queued is written by now
        for (auto& client : clients_) {
            client->EndIfClosed();
            client->ReadOutput();
            Require(!client->HoldsPartOfALine(), "a client received part of a line");
        }
        CheckRegistry();
    }

    void CheckRegistry() {
        std::set<const TConnection*> live;
        for (const auto& client : clients_) {
            if (client->Live())
                live.insert(client->Connection());
        }
        const auto faults = RegistryFaults(server_.Core().Registry, live);
        if (!faults.empty()) {
            std::string text = "the registry is inconsistent:";
            for (const auto& fault : faults)
                text += "\n  " + fault;
            Fail(text);
        }
    }

    TFuzzHost host_;
    TServer server_;
    // After the server, so that they go first.
    std::array<std::unique_ptr<TFuzzConnection>, kClients> clients_;
};

}  // namespace

void FuzzDispatcher(std::string_view input) {
    for (const bool modern : {false, true}) {
        TDispatcherRun run(modern);
        for (std::string_view rest = input; !rest.empty();) {
            const auto end = rest.find(kStepSeparator);
            const std::string_view step = rest.substr(0, end);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
            if (!step.empty())
                run.Step(static_cast<uint8_t>(step.front()), step.substr(1));
        }
        run.Stop();
    }
}

}  // namespace fuzz
