// The run is one thread around one epoll set: every client socket and, in the paced
// mode, a timer for the next message that is due.
#include "bench/LoadRun.h"

#include <sys/resource.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "bench/BenchText.h"
#include "bench/ServerProcess.h"

namespace {

constexpr int64_t kNsPerSecond = 1000000000;
constexpr int64_t kLateSendNs = 1000000;
constexpr std::size_t kScratchBytes = 256 * 1024;
constexpr int kEventsPerWait = 256;
// After the last due receipt, how long the run keeps reading to catch duplicates.
constexpr int64_t kSettleNs = 200000000;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t SecondsToNs(double seconds) {
    return static_cast<int64_t>(seconds * kNsPerSecond);
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string NickOf(int client) {
    return "bn" + std::to_string(client);
}

// A message is due at every other channel member, or at the one nick it is sent to.
int ReceiptsPerMessage(const TGeneratorOptions& options) {
    return options.ToNick ? 1 : options.Clients - 1;
}

}  // namespace

TLoadRun::TLoadRun(const TGeneratorOptions& options)
    : Options_(options),
      Scratch_(kScratchBytes),
      Ledger_(options.Clients, options.Senders, ReceiptsPerMessage(options),
              options.UntilFirstReceipt ? TDeliveryLedger::EInFlightUntil::FirstReceipt
                                        : TDeliveryLedger::EInFlightUntil::LastReceipt),
      SentBy_(static_cast<std::size_t>(options.Senders)) {
    EpollFd_ = epoll_create1(EPOLL_CLOEXEC);
    TimerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (EpollFd_ < 0 || TimerFd_ < 0)
        throw std::runtime_error(std::string("epoll or timer: ") + std::strerror(errno));
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = static_cast<uint64_t>(options.Clients);  // past every client index
    epoll_ctl(EpollFd_, EPOLL_CTL_ADD, TimerFd_, &event);
    for (int i = 0; i < options.Clients; ++i)
        Clients_.push_back(std::make_unique<TClient>());
}

TLoadRun::~TLoadRun() {
    Clients_.clear();
    ::close(TimerFd_);
    ::close(EpollFd_);
}

TRunResult TLoadRun::Run() {
    if (Options_.ServerPid > 0)
        Result_.ResidentIdleKiB = ProcessResidentKiB(Options_.ServerPid);
    const bool registered = ConnectAndRegister();
    if (registered && Options_.ServerPid > 0)
        Result_.ResidentRegisteredKiB = ProcessResidentKiB(Options_.ServerPid);
    if (!registered || !JoinChannel()) {
        Result_.Status = "setup_failed";
        std::fprintf(stderr, "LoadGenerator: %s\n",
                     SetupFault_.value_or("setup timed out").c_str());
        return std::move(Result_);
    }
    if (Options_.ServerPid > 0)
        Result_.ResidentWithClientsKiB = ProcessResidentKiB(Options_.ServerPid);
    if (Options_.DurationS > 0)
        SendAndDrain();
    Result_.Lost = Ledger_.Lost();
    Result_.Duplicated = Ledger_.Duplicated();
    Result_.Reordered = Ledger_.Reordered();
    if (Result_.Lost || Result_.Duplicated || Result_.Reordered || Result_.Garbled ||
        Result_.Disconnected)
        Result_.Status = "faults";
    return std::move(Result_);
}

bool TLoadRun::ConnectAndRegister() {
    const int64_t start = NowNs();
    PollUntil(
        [&] {
            StartConnections();
            return Registered_ == Options_.Clients || SetupFault_;
        },
        start + SecondsToNs(Options_.SetupTimeoutS));
    const double seconds = static_cast<double>(NowNs() - start) / kNsPerSecond;
    std::fprintf(stderr, "LoadGenerator: %d of %d clients registered in %.2f s\n", Registered_,
                 Options_.Clients, seconds);
    if (Registered_ != Options_.Clients || SetupFault_)
        return false;
    Result_.RegisterSeconds = seconds;
    return true;
}

bool TLoadRun::JoinChannel() {
    const std::string join = "JOIN " + Options_.Channel + "\r\n";
    for (int i = 0; i < Options_.Clients; ++i) {
        Clients_[i]->State = EState::Joining;
        SendTo(i, join);
    }
    const int64_t start = NowNs();
    PollUntil([&] { return Joined_ == Options_.Clients || SetupFault_; },
              start + SecondsToNs(Options_.SetupTimeoutS));
    std::fprintf(stderr, "LoadGenerator: %d of %d clients joined %s in %.2f s\n", Joined_,
                 Options_.Clients, Options_.Channel.c_str(),
                 static_cast<double>(NowNs() - start) / kNsPerSecond);
    return Joined_ == Options_.Clients && !SetupFault_;
}

void TLoadRun::SendAndDrain() {
    const int pid = Options_.ServerPid;
    const auto cpuBefore = pid > 0 ? ProcessCpuMicroseconds(pid) : std::nullopt;
    const double generatorCpuBefore = ProcessCpuSeconds();
    const uint64_t receiptsBefore = Ledger_.Receipts();
    SendStartNs_ = NowNs();
    SendEndNs_ = SendStartNs_ + SecondsToNs(Options_.DurationS);
    Sending_ = true;
    for (int sender = 0; sender < Options_.Senders; ++sender)
        SendDueMessages(sender, SendStartNs_);
    ArmPacingTimer();
    PollUntil([] { return false; }, SendEndNs_);
    Sending_ = false;

    const int64_t end = NowNs();
    Result_.SendSeconds = static_cast<double>(end - SendStartNs_) / kNsPerSecond;
    Result_.SendPhaseDeliveries = Ledger_.Receipts() - receiptsBefore;
    Result_.GeneratorCpuSeconds = ProcessCpuSeconds() - generatorCpuBefore;
    if (const auto cpuAfter = pid > 0 ? ProcessCpuMicroseconds(pid) : std::nullopt;
        cpuBefore && cpuAfter)
        Result_.ServerCpuMicroseconds = *cpuAfter - *cpuBefore;
    for (const uint64_t sent : SentBy_)
        Result_.Sent += sent;

    const bool drained = PollUntil([&] { return Ledger_.UnfinishedTotal() == 0; },
                                   end + SecondsToNs(Options_.DrainTimeoutS));
    std::fprintf(stderr, "LoadGenerator: sent %llu messages in %.2f s, %s after %.2f s more\n",
                 static_cast<unsigned long long>(Result_.Sent), Result_.SendSeconds,
                 drained ? "all delivered" : "NOT all delivered",
                 static_cast<double>(NowNs() - end) / kNsPerSecond);
    PollUntil([] { return false; }, NowNs() + kSettleNs);
}

template <typename TDone>
bool TLoadRun::PollUntil(TDone done, int64_t deadlineNs) {
    for (;;) {
        if (done())
            return true;
        const int64_t left = deadlineNs - NowNs();
        if (left <= 0)
            return false;
        PollOnce(static_cast<int>(std::min<int64_t>((left + 999999) / 1000000, 100)));
    }
}

void TLoadRun::PollOnce(int timeoutMs) {
    epoll_event events[kEventsPerWait];
    const int count = epoll_wait(EpollFd_, events, kEventsPerWait, timeoutMs);
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<int>(events[i].data.u64);
        if (index == Options_.Clients) {
            uint64_t expirations = 0;
            (void)::read(TimerFd_, &expirations, sizeof expirations);
            PacingTimerNs_ = 0;
            for (int sender = 0; sender < Options_.Senders; ++sender)
                SendDueMessages(sender, NowNs());
            ArmPacingTimer();
            continue;
        }
        // A connect that failed shows as an error, with or without writability.
        const bool connecting = Clients_[index]->State == EState::Connecting;
        if (events[i].events & (connecting ? EPOLLOUT | EPOLLERR | EPOLLHUP : EPOLLOUT))
            OnWritable(index);
        if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))
            OnReadable(index);
    }
}

void TLoadRun::StartConnections() {
    const int settingUp = Started_ - Registered_;
    for (int room = Options_.ConnectWindow - settingUp; room > 0 && Started_ < Options_.Clients;
         --room) {
        const int index = Started_++;
        auto& client = *Clients_[index];
        if (const int error =
                client.Connection.StartConnect(ClientAddress(index), 0x7F000001u, Options_.Port)) {
            SetupFailed("connect of client " + std::to_string(index) + ": " + std::strerror(error));
            return;
        }
        client.State = EState::Connecting;
        client.ConnectStartNs = NowNs();
        epoll_event event{};
        event.events = EPOLLIN | EPOLLOUT;
        event.data.u64 = static_cast<uint64_t>(index);
        epoll_ctl(EpollFd_, EPOLL_CTL_ADD, client.Connection.Fd(), &event);
        client.WatchingWrites = true;
    }
}

void TLoadRun::OnWritable(int index) {
    auto& client = *Clients_[index];
    if (client.State == EState::Connecting) {
        if (const int error = client.Connection.ConnectOutcome()) {
            SetupFailed("connect of client " + std::to_string(index) + ": " + std::strerror(error));
            Drop(index, "connect failed");
            return;
        }
        client.State = EState::Registering;
        SendTo(index, "NICK " + NickOf(index) + "\r\nUSER u" + std::to_string(index) +
                          " 0 * :load generator\r\n");
    } else if (!client.Connection.FlushPending()) {
        Drop(index, "write failed");
        return;
    }
    WatchWrites(index, client.Connection.HasPending());
}

void TLoadRun::OnReadable(int index) {
    auto& client = *Clients_[index];
    if (client.State == EState::Closed || client.State == EState::Connecting)
        return;
    const long received = client.Connection.Receive(Scratch_);
    if (received == -2)
        return;
    if (received <= 0) {
        Drop(index, received == 0 ? "closed by the server" : "read failed");
        return;
    }
    const int64_t now = NowNs();
    client.Connection.CutLines(std::span<const char>(Scratch_.data(), received),
                               [&](std::string_view line) { OnLine(index, line, now); });
}

void TLoadRun::OnLine(int index, std::string_view line, int64_t nowNs) {
    if (Clients_[index]->State == EState::Closed)
        return;
    const auto parts = SplitReceivedLine(line);
    if (parts.Command == "PRIVMSG") {
        OnMessage(index, parts.Trailing, nowNs);
    } else if (parts.Command == "PING") {
        SendTo(index, "PONG " + std::string(parts.Params) + "\r\n");
    } else if (parts.Command == "ERROR") {
        std::fprintf(stderr, "LoadGenerator: client %d: %.*s\n", index,
                     static_cast<int>(line.size()), line.data());
    } else if (parts.Command.size() == 3 &&
               std::isdigit(static_cast<unsigned char>(parts.Command[0]))) {
        OnRegistrationReply(index, parts.Command, line);
    }
}

void TLoadRun::OnRegistrationReply(int index, std::string_view command, std::string_view line) {
    auto& client = *Clients_[index];
    if (client.State == EState::Registering && (command == "376" || command == "422")) {
        client.State = EState::Registered;
        ++Registered_;
        Result_.RegisterLatency.Add(NowNs() - client.ConnectStartNs);
    } else if (client.State == EState::Joining && command == "366") {
        client.State = EState::Joined;
        ++Joined_;
    } else if (command[0] >= '4' &&
               (client.State == EState::Registering || client.State == EState::Joining)) {
        SetupFailed("client " + std::to_string(index) + " refused: " + std::string(line));
    }
}

void TLoadRun::OnMessage(int receiver, std::string_view text, int64_t nowNs) {
    const auto stamp = DecodeMessageText(text);
    if (!stamp || stamp->Sender >= Options_.Senders) {
        ++Result_.Garbled;
        return;
    }
    Result_.Latency.Add(nowNs - stamp->SentNs);
    if (Ledger_.NoteReceived(receiver, stamp->Sender, stamp->Sequence) ==
        TDeliveryLedger::EReceipt::Landed) {
        SendDueMessages(stamp->Sender, nowNs);
        ArmPacingTimer();
    }
}

std::string TLoadRun::TargetOf(int sender) const {
    // In nick mode sender s writes to client S + s, which sends nothing itself.
    return Options_.ToNick ? NickOf(Options_.Senders + sender) : Options_.Channel;
}

int64_t TLoadRun::ScheduledNs(int sender, uint64_t index) const {
    // The senders take turns: message k of sender s is number k * S + s of the whole run.
    const double interval = kNsPerSecond / Options_.Rate;
    const auto number = static_cast<double>(index * Options_.Senders + sender);
    return SendStartNs_ + static_cast<int64_t>(number * interval);
}

// Writes, in one write, the messages that the sender may send now: closed loop, enough
// to fill its window; paced, those whose time has come, as far as the burst-safe window
// allows (the rest follow as soon as receipts free the window, stamped with their time).
void TLoadRun::SendDueMessages(int sender, int64_t nowNs) {
    if (!Sending_ || Clients_[sender]->State == EState::Closed)
        return;
    const bool paced = Options_.Rate > 0;
    const auto window = static_cast<uint32_t>(paced ? Options_.BurstSafeWindow() : Options_.Window);
    const std::string head = "PRIVMSG " + TargetOf(sender) + " :";
    std::string batch;
    auto& sent = SentBy_[static_cast<std::size_t>(sender)];
    while (Ledger_.InFlight(sender) < window) {
        int64_t stampNs = nowNs;
        if (paced) {
            stampNs = ScheduledNs(sender, sent);
            if (stampNs > nowNs || stampNs >= SendEndNs_)
                break;
            if (nowNs - stampNs > kLateSendNs)
                ++Result_.LateSends;
        }
        const uint32_t sequence = Ledger_.NoteSent(sender);
        ++sent;
        batch += head;
        batch += EncodeMessageText({sender, sequence, stampNs}, Options_.Size);
        batch += "\r\n";
    }
    if (!batch.empty())
        SendTo(sender, batch);
}

void TLoadRun::ArmPacingTimer() {
    if (!Sending_ || Options_.Rate <= 0)
        return;
    int64_t next = SendEndNs_;
    for (int sender = 0; sender < Options_.Senders; ++sender)
        if (Ledger_.InFlight(sender) < static_cast<uint32_t>(Options_.BurstSafeWindow()))
            next = std::min(next, ScheduledNs(sender, SentBy_[static_cast<std::size_t>(sender)]));
    if (next == PacingTimerNs_)
        return;
    PacingTimerNs_ = next;
    itimerspec when{};
    when.it_value.tv_sec = next / kNsPerSecond;
    when.it_value.tv_nsec = next % kNsPerSecond;
    if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0)
        when.it_value.tv_nsec = 1;  // zero would disarm the timer
    timerfd_settime(TimerFd_, TFD_TIMER_ABSTIME, &when, nullptr);
}

void TLoadRun::SendTo(int index, std::string_view bytes) {
    auto& client = *Clients_[index];
    if (client.State == EState::Closed)
        return;
    if (!client.Connection.Send(bytes)) {
        Drop(index, "write failed");
        return;
    }
    WatchWrites(index, client.Connection.HasPending());
}

void TLoadRun::WatchWrites(int index, bool watch) {
    auto& client = *Clients_[index];
    if (client.WatchingWrites == watch || client.State == EState::Closed)
        return;
    epoll_event event{};
    event.events = EPOLLIN | (watch ? EPOLLOUT : 0u);
    event.data.u64 = static_cast<uint64_t>(index);
    epoll_ctl(EpollFd_, EPOLL_CTL_MOD, Clients_[index]->Connection.Fd(), &event);
    client.WatchingWrites = watch;
}

// The socket stays open until the run ends, so that a client can be dropped while its
// lines are being cut; its state makes the rest of them be ignored.
void TLoadRun::Drop(int index, const std::string& why) {
    auto& client = *Clients_[index];
    if (client.State == EState::Closed)
        return;
    const bool settingUp = client.State != EState::Joined;
    client.State = EState::Closed;
    ++Result_.Disconnected;
    std::fprintf(stderr, "LoadGenerator: client %d %s\n", index, why.c_str());
    if (settingUp)
        SetupFailed("client " + std::to_string(index) + " " + why + " during setup");
    epoll_ctl(EpollFd_, EPOLL_CTL_DEL, client.Connection.Fd(), nullptr);
}

void TLoadRun::SetupFailed(const std::string& why) {
    if (!SetupFault_)
        SetupFault_ = why;
}
