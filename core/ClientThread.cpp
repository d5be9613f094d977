#include "core/ClientThread.h"

#include <algorithm>
#include <utility>
#include "JapaneseTexts.h"
#include "core/ConstructionUnit/ConstructionUnit.h"
#include "platform/Clock.h"

namespace {

// A budget may be overspent by this many seconds of its rate at once: a paste of many
// lines passes without delay.
constexpr uint32_t kRelayBurstSeconds = 4;

TRelayBudget RelayBudgetOf(const TSettings& settings) {
    const auto rate = static_cast<uint32_t>(std::max(settings.RelayBytesPerSecond, 0));
    return TRelayBudget(rate, rate * kRelayBurstSeconds);
}

}  // namespace

TClientThread::TClientThread(TServerCore& core)
    : TConnection(core),
      framing_(core.Timings.LineBufferLimitBytes),
      relayBudget_(RelayBudgetOf(core.Settings)) {}

platform::LocalDateTime TClientThread::IdleSince() const {
    return platform::LocalDateTime(platform::LocalDateTime::duration(idleSince_.load()));
}

// ---- connection lifecycle --------------------------------------------------------

void TClientThread::RunConnection() {
    StartConnection();
    try {
        while (ServeOnce(Core.Timings.WaitForDataMs)) {
        }
    } catch (...) {
        Disconnect();
        EndConnection();
        throw;
    }
    EndConnection();
}

void TClientThread::EndConnection() {
    // Reported here, in the connection's own thread and outside every lock, however
    // many threads found the socket broken. A stop closes every socket itself: output
    // it cut short in flight ("Broken pipe") is no fault to report.
    if (const int failure = output_->Failure(); failure != 0) {
        if (CloseReason.empty())
            CloseReason = Texts::CloseReadError;
        if (!Terminated())
            Core.Host.ShowError(listener::TClientSocket::ErrorText(failure));
    }
    RemoveConnection(*this);
    Core.Host.NotifyLogout(*this);
    output_.reset();  // no record refers to this connection any more
}

void TClientThread::StartConnection() {
    auto& socket = *ClientSocket();
    TConnectionState fresh;
    fresh.PeerAddress = socket.PeerAddress();
    fresh.PeerHost = socket.PeerHostName();
    if (fresh.PeerHost.find('.') == std::string::npos)
        fresh.PeerHost = fresh.PeerAddress;
    static_cast<TConnectionState&>(*this) = std::move(fresh);
    timers_ = TTimers{.StartTime = platform::TimeGetTime(),
                      .PingIntervalMs = int64_t{Core.Settings.PingInterval} * 1000};
    pingLine_ = "PING :" + Core.Settings.ServerName + "\r\n";
    output_ =
        std::make_shared<TConnectionOutput>(SharedClientSocket(), Core.Timings.OutQueueLimitBytes);
    framing_.Reset();
    relayBudget_.Reset(platform::TimeGetTime());
    registered_ = false;
    // Until registration renews it, a user's idle time counts from its connection.
    idleSince_ = platform::Now().time_since_epoch().count();
    {
        std::lock_guard lock(Core.Registry.Lock);
        SameHost = HostHasUser(Core.Registry, *this, false);
    }
    Core.Host.NotifyLogin(*this);
}

bool TClientThread::ServeOnce(uint32_t waitMs) {
    auto& socket = *ClientSocket();
    if (Terminated() || !socket.Connected())
        return false;
    // While the relay budget is overspent the input waits; the peer closing does not.
    const uint32_t throttleMs = relayBudget_.MsUntilAvailable(platform::TimeGetTime());
    timers_.InputWaited = timers_.InputWaited || throttleMs > 0;
    const auto ready =
        socket.Wait(static_cast<int>(throttleMs ? std::min(waitMs, throttleMs) : waitMs),
                    output_->WaitsForRoom(), throttleMs == 0);
    if (ready.Writable)
        output_->Flush();
    if (ready.Readable) {
        // Everything the handlers send for this burst goes out once they are done.
        TOutputBatch batch(Core.Writer);
        ReadBurst();
        DispatchCompleteLines();
    }
    CheckTimers();
    return true;
}

void TClientThread::ReadBurst() {
    auto& socket = *ClientSocket();
    framing_.StartBurst();
    // What piled up while the relay budget held the input back is no burst of the
    // client's: it is taken one burst's worth per wake-up, as the budget allows.
    const bool paced = std::exchange(timers_.InputWaited, false);
    const std::size_t readSize = paced ? TReceiveFraming::kBurstLimit : TReceiveFraming::kReadSize;
    while (!Terminated() && socket.Connected()) {
        char buffer[TReceiveFraming::kReadSize];
        std::size_t bytesRead = 0;
        const auto result = socket.ReadSome(buffer, readSize, bytesRead);
        using listener::TClientSocket;
        if (result == TClientSocket::ReadResult::WouldBlock)
            break;
        if (result == TClientSocket::ReadResult::Error) {
            EndServerSide(Core.Dialect.Texts().QuitReadError, Texts::CloseReadError);
        } else if (result == TClientSocket::ReadResult::EndOfStream) {
            EndServerSide(Core.Dialect.Texts().QuitEndOfStream, Texts::CloseEndOfStream);
        } else if (!framing_.TakeRead(std::string_view(buffer, bytesRead))) {
            EndServerSide(Core.Dialect.Texts().QuitFlood, Texts::CloseFlood);
        } else if (paced || bytesRead < readSize) {
            break;  // a short read ends the burst
        }
    }
}

void TClientThread::DispatchCompleteLines() {
    auto& socket = *ClientSocket();
    while (!Terminated() && socket.Connected()) {
        const auto line = framing_.NextLine();
        if (!line)
            break;
        DispatchLine(*this, *line);
    }
    if (!framing_.KeepRemainder() && socket.Connected())
        EndServerSide(Core.Dialect.Texts().QuitFlood, Texts::CloseFlood);
}

void TClientThread::CheckTimers() {
    if (!ClientSocket()->Connected())
        return;
    const uint32_t now = platform::TimeGetTime();
    if (Registered()) {
        if (int64_t{platform::ElapsedMs(now, timers_.LastActivity)} > timers_.PingIntervalMs) {
            if (timers_.PingSent) {
                EndServerSide(Core.Dialect.Texts().QuitPingTimeOut, Texts::ClosePingTimeOut);
                return;
            }
            SendLine(pingLine_);
            timers_.LastActivity = now;
            timers_.PingSent = true;
        }
    } else if (platform::ElapsedMs(now, timers_.StartTime) > Core.Timings.LoginTimeoutMs) {
        CloseReason = Texts::CloseLoginTimeOut;
        Disconnect();
        return;
    }
    output_->EndIfStalled(Core.Timings.WriteStallTimeoutMs);
}

void TClientThread::EndServerSide(std::string_view quitReason, std::string_view closeReason) {
    QuitFromAll(*this, Nick, quitReason);
    CloseReason = closeReason;
    Disconnect();
}

void TClientThread::Disconnect() {
    ClientSocket()->Close();
}

// ---- activity ----------------------------------------------------------------------

void TClientThread::MarkActive() {
    if (!registered_.exchange(true))
        ClientSocket()->MarkRegistered();
    timers_.PingSent = false;
    timers_.LastActivity = platform::TimeGetTime();
    idleSince_ = platform::Now().time_since_epoch().count();
}

void TClientThread::MarkPongReceived() {
    timers_.PingSent = false;
    timers_.LastActivity = platform::TimeGetTime();
}

bool TClientThread::HasRoomForListing() {
    return output_->Unwritten() < Core.Timings.OutQueueLimitBytes / 2;
}

// ---- output ------------------------------------------------------------------------

void TClientThread::SendLine(std::string_view text) {
    if (text.empty() || Terminated() || ClientSocket() == nullptr)
        return;
    if (output_->Append(text) && !TOutputBatch::Defer(output_))
        output_->Flush();
}

void TClientThread::SendClosingError(std::string_view text) {
    if (Terminated() || ClientSocket() == nullptr)
        return;
    output_->WriteClosingError("ERROR :ClosingLink: " + std::string(text) + "\r\n");
}
