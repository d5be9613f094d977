#include "tests/stress/StressDaemon.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kUnshare = "/usr/bin/unshare";

// Whether this machine lets a test give a program its own /etc/resolv.conf.
bool CanReplaceResolverConfiguration() {
    static const bool can = [] {
        if (access(kUnshare, X_OK) != 0)
            return false;
        TChildProcess probe(kUnshare,
                            {"-m", "sh", "-c", "mount --bind /etc/resolv.conf /etc/resolv.conf"});
        return probe.Wait(5000) == 0;
    }();
    return can;
}

// Each daemon's name server has an address of its own (derived from the daemon's
// port), so that tests running side by side do not share one.
std::string NameServerAddress(uint16_t port) {
    return "127.0.53." + std::to_string(2 + port % 250);
}

}  // namespace

TStressDaemon::TStressDaemon(const TDaemonSettings& settings)
    : program_(folder_.Path() / "TavoServerDaemon"), port_(settings.Port) {
    std::filesystem::copy_file(TAVO_DAEMON_PATH, program_);
    std::ofstream(folder_.Path() / "TavoServerDaemon.Ini")
        << "[Global]\nPort=" << settings.Port << "\nMaxConnection=" << settings.MaxConnection
        << "\nPingInterval=" << settings.PingInterval << "\n";
    if (!CanReplaceResolverConfiguration()) {
        process_ = std::make_unique<TChildProcess>(program_);
        return;
    }
    const std::string address = NameServerAddress(settings.Port);
    nameServer_ =
        std::make_unique<TFakeNameServer>(address, settings.NameRecords, settings.SilentNameServer);
    // The resolver's own patience is long, so that the daemon's lookup timeout is what
    // ends a lookup that gets no answer.
    const auto resolverConfiguration = folder_.Path() / "resolv.conf";
    std::ofstream(resolverConfiguration)
        << "nameserver " << address << "\noptions timeout:10 attempts:2\n";
    process_ = std::make_unique<TChildProcess>(
        kUnshare,
        std::vector<std::string>{"-m", "sh", "-c",
                                 "mount --bind '" + resolverConfiguration.string() +
                                     "' /etc/resolv.conf && exec '" + program_.string() + "'"});
}

std::unique_ptr<TTestClient> TStressDaemon::Connect(const std::string& address) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        try {
            return std::make_unique<TTestClient>(port_, address);
        } catch (const std::runtime_error&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    return nullptr;
}

pid_t TStressDaemon::Pid() {
    // The child runs the program itself or, with a private resolver, execs it after
    // setting up; either way the daemon is the process whose executable is our copy.
    for (int attempt = 0; pid_ < 0 && attempt < 200; ++attempt) {
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            std::error_code error;
            if (std::filesystem::read_symlink(entry.path() / "exe", error) == program_) {
                pid_ = std::stoi(entry.path().filename().string());
                break;
            }
        }
        if (pid_ < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return pid_;
}

namespace {

int EntriesIn(const std::filesystem::path& folder) {
    int entries = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++entries;
    }
    return entries;
}

}  // namespace

int TStressDaemon::Descriptors() {
    return EntriesIn("/proc/" + std::to_string(Pid()) + "/fd");
}

TProcessFigures TStressDaemon::Figures() {
    const std::filesystem::path proc = "/proc/" + std::to_string(Pid());
    TProcessFigures figures;
    figures.Threads = EntriesIn(proc / "task");
    figures.Descriptors = EntriesIn(proc / "fd");
    std::ifstream status(proc / "status");
    for (std::string word; status >> word;) {
        if (word == "VmRSS:")
            status >> figures.ResidentKb;
    }
    return figures;
}

TProcessFigures TStressDaemon::IdleFigures(int firstAddress) {
    RegisterClients(*this, firstAddress, kThreadCacheSize + 1, "idle");
    process_->Signal(SIGUSR1);
    process_->Signal(SIGUSR2);
    TProcessFigures last = Figures();
    int sameInARow = 0;
    for (const auto deadline = Clock::now() + 30s; sameInARow < 5 && Clock::now() < deadline;) {
        std::this_thread::sleep_for(100ms);
        const TProcessFigures now = Figures();
        const bool same = now.Threads == last.Threads && now.Descriptors == last.Descriptors;
        sameInARow = same ? sameInARow + 1 : 0;
        last = now;
    }
    return last;
}

TProcessFigures TStressDaemon::FiguresBackAt(const TProcessFigures& idle) {
    const auto backAt = [&](const TProcessFigures& now) {
        return now.Threads == idle.Threads && now.Descriptors == idle.Descriptors &&
               now.ResidentKb < idle.ResidentKb + kResidentMarginKb;
    };
    TProcessFigures now = Figures();
    for (const auto deadline = Clock::now() + 30s; !backAt(now) && Clock::now() < deadline;
         now = Figures()) {
        std::this_thread::sleep_for(50ms);
    }
    return now;
}

std::string LoopbackAddress(int index) {
    return "127.0." + std::to_string(index / 250) + "." + std::to_string(2 + index % 250);
}

void ResetConnection(std::unique_ptr<TTestClient> client) {
    const linger abortive{1, 0};
    setsockopt(client->Fd(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    client.reset();  // closing with a zero linger time sends the reset
}

void SendRegistration(TTestClient& client, const std::string& nick) {
    client.SendRaw("NICK " + nick + "\r\nUSER " + nick + " host server :Stress client\r\n");
}

std::vector<std::unique_ptr<TTestClient>> RegisterClients(TStressDaemon& daemon, int firstAddress,
                                                          int count, const std::string& nickPrefix,
                                                          const std::string& channel) {
    constexpr int kInParallel = 8;
    std::vector<std::unique_ptr<TTestClient>> clients(static_cast<std::size_t>(count));
    std::atomic<int> next{0};
    std::vector<std::thread> registrars;
    for (int r = 0; r < kInParallel; ++r) {
        registrars.emplace_back([&] {
            for (int i; (i = next++) < count;) {
                auto client = daemon.Connect(LoopbackAddress(firstAddress + i));
                if (!client)
                    continue;
                SendRegistration(*client, nickPrefix + std::to_string(i));
                const auto welcome = client->ReadUntil(" 376 ");
                if (welcome.empty() || welcome.back().find(" 376 ") == std::string::npos)
                    continue;
                if (!channel.empty()) {
                    client->Send("JOIN " + channel);
                    client->ReadUntil(" 366 ");
                }
                clients[static_cast<std::size_t>(i)] = std::move(client);
            }
        });
    }
    for (auto& registrar : registrars)
        registrar.join();
    std::erase(clients, nullptr);
    EXPECT_EQ(static_cast<int>(clients.size()), count) << "not every client got through";
    return clients;
}
