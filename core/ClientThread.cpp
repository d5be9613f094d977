#include "core/ClientThread.h"

#include <cerrno>
#include <cstring>

#include "JapaneseTexts.h"
#include "core/ConstructionUnit/ConstructionUnit.h"
#include "platform/Clock.h"

namespace {
constexpr std::size_t kReadSize = 127;    // bytes per read, into a zero-filled 128-byte buffer
constexpr std::size_t kBurstLimit = 768;  // more than this in one burst ends the connection
constexpr std::string_view kLineEnd = "\r\n";
}  // namespace

TClientThread::TClientThread(TServerCore& core) : Core(core) {}

platform::LocalDateTime TClientThread::IdleSince() const {
    return platform::LocalDateTime(platform::LocalDateTime::duration(idleSince_.load()));
}

// ---- connection lifecycle --------------------------------------------------------

void TClientThread::RunConnection() {
    StartConnection();
    try {
        ReceiveLoop();
    } catch (...) {
        Disconnect();
        EndConnection();
        throw;
    }
    if (writeFailed_ && CloseReason.empty())
        CloseReason = Texts::CloseReadError;
    EndConnection();
}

void TClientThread::EndConnection() {
    RemoveConnection(*this);
    Core.Host.NotifyLogout(*this);
}

void TClientThread::StartConnection() {
    Nick.clear();
    SameHost = false;
    BadUserName = false;
    CloseReason.clear();
    {
        std::lock_guard guard(writeLock_);
        DropOutput();
    }
    writeFailed_ = false;

    PingIntervalMs = int64_t{Core.Settings.PingInterval} * 1000;
    PingSent = false;
    pingLine_ = "PING :" + Core.Settings.ServerName + "\r\n";
    registered_ = false;
    // Until registration renews it, a user's idle time counts from its connection.
    idleSince_ = platform::Now().time_since_epoch().count();

    auto& socket = *ClientSocket();
    PeerHost = socket.PeerHostName();
    if (PeerHost.find('.') == std::string::npos)
        PeerHost = socket.PeerAddress();

    startTime_ = platform::TimeGetTime();
    SnapshotLimits();
    {
        std::lock_guard lock(Core.Registry.Lock);
        for (int i = 0; i < Core.Registry.Users.Count(); ++i) {
            if (Core.Registry.Users.At(i)->Host == PeerHost) {
                SameHost = true;
                break;
            }
        }
    }
    Core.Host.NotifyLogin(*this);
    lineBuffer_.clear();
}

void TClientThread::SnapshotLimits() {
    int maxConnection = 0;
    int servedConnections = 0;
    Core.Host.RunInMainThread([&] {
        maxConnection = Core.Settings.MaxConnection;
        servedConnections = Core.Host.ActiveThreads();
    });
    OverLimit = maxConnection < servedConnections;
}

void TClientThread::ReceiveLoop() {
    auto& socket = *ClientSocket();
    while (!Terminated() && socket.Connected()) {
        bool wantWrite = false;
        {
            std::lock_guard guard(writeLock_);
            wantWrite = queuedBytes_ > 0;
            ownerWaitsForRoom_ = wantWrite;
        }
        const auto ready = socket.Wait(static_cast<int>(Core.Timings.WaitForDataMs), wantWrite);
        if (ready.Writable) {
            std::lock_guard guard(writeLock_);
            FlushQueue();
        }
        if (ready.Readable) {
            ReadBurst();
            DispatchCompleteLines();
        }
        CheckTimers();
    }
}

void TClientThread::ReadBurst() {
    auto& socket = *ClientSocket();
    std::size_t burstTotal = 0;
    while (!Terminated() && socket.Connected()) {
        char buffer[kReadSize + 1] = {};
        std::size_t bytesRead = 0;
        const auto result = socket.ReadSome(buffer, kReadSize, bytesRead);
        if (result == listener::TClientSocket::ReadResult::WouldBlock)
            break;  // burst over
        if (result == listener::TClientSocket::ReadResult::Error) {
            EndServerSide(Texts::QuitReadError, Texts::CloseReadError);
        }
        burstTotal += bytesRead;
        if (burstTotal > kBurstLimit)
            EndServerSide(Texts::QuitFlood, Texts::CloseFlood);
        if (!CloseReason.empty())
            continue;
        if (bytesRead == 0) {
            EndServerSide(Texts::QuitEndOfStream, Texts::CloseEndOfStream);
            continue;
        }
        lineBuffer_.append(buffer, strnlen(buffer, bytesRead));  // a zero byte drops the rest
        if (bytesRead < kReadSize)
            break;
    }
}

void TClientThread::DispatchCompleteLines() {
    auto& socket = *ClientSocket();
    std::size_t lineStart = 0;
    while (!Terminated() && socket.Connected()) {
        const auto lineEnd = lineBuffer_.find(kLineEnd, lineStart);
        if (lineEnd == std::string::npos)
            break;
        const auto next = lineEnd + kLineEnd.size();
        DispatchLine(*this, std::string_view(lineBuffer_).substr(lineStart, next - lineStart));
        lineStart = next;
    }
    lineBuffer_.erase(0, lineStart);
    if (socket.Connected() && lineBuffer_.size() > Core.Timings.LineBufferLimitBytes) {
        EndServerSide(Texts::QuitFlood, Texts::CloseFlood);
    }
}

void TClientThread::CheckTimers() {
    if (!ClientSocket()->Connected())
        return;
    const uint32_t now = platform::TimeGetTime();
    if (Registered()) {
        if (int64_t{platform::ElapsedMs(now, LastActivity)} > PingIntervalMs) {
            if (PingSent) {
                EndServerSide(Texts::QuitPingTimeOut, Texts::ClosePingTimeOut);
                return;
            }
            SendLine(pingLine_);
            LastActivity = now;
            PingSent = true;
        }
    } else if (platform::ElapsedMs(now, startTime_) > Core.Timings.LoginTimeoutMs) {
        CloseReason = Texts::CloseLoginTimeOut;
        Disconnect();
        return;
    }
    std::lock_guard guard(writeLock_);
    if (queuedBytes_ > 0 &&
        platform::ElapsedMs(now, lastWriteProgress_) > Core.Timings.WriteStallTimeoutMs) {
        EndAfterFailedWrite(listener::TClientSocket::ErrorText(ETIMEDOUT));
    }
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
    registered_ = true;
    PingSent = false;
    LastActivity = platform::TimeGetTime();
    idleSince_ = platform::Now().time_since_epoch().count();
}

void TClientThread::MarkPongReceived() {
    PingSent = false;
    LastActivity = platform::TimeGetTime();
}

// ---- output ------------------------------------------------------------------------

void TClientThread::SendError(TErrorReply reply, std::initializer_list<std::string_view> args) {
    SendLine(BuildErrorLine(Core.Settings.ServerName, Nick, reply, args));
}

void TClientThread::SendLine(std::string_view text) {
    auto* socket = ClientSocket();
    if (text.empty() || Terminated() || socket == nullptr)
        return;
    std::lock_guard guard(writeLock_);
    if (!socket->Connected())
        return;
    if (queuedBytes_ == 0)
        lastWriteProgress_ = platform::TimeGetTime();
    OutQueue.Add(std::string(text));
    queuedBytes_ += text.size();
    if (queuedBytes_ > Core.Timings.OutQueueLimitBytes) {
        EndAfterFailedWrite(listener::TClientSocket::ErrorText(ENOBUFS));
        return;
    }
    FlushQueue();
    // What the socket did not take is written by this connection's own thread as the
    // peer reads; wake it so that it waits for room to write.
    if (queuedBytes_ > 0 && !ownerWaitsForRoom_) {
        ownerWaitsForRoom_ = true;
        socket->Wake();
    }
}

void TClientThread::FlushQueue() {
    auto& socket = *ClientSocket();
    while (!Terminated() && socket.Connected()) {
        if (writtenOfLine_ == writing_.size()) {
            writing_.clear();
            writtenOfLine_ = 0;
            if (OutQueue.Count() == 0)
                break;
            writing_ = OutQueue.TakeFirst();
        }
        std::size_t written = 0;
        const auto result = socket.WriteSome(writing_.data() + writtenOfLine_,
                                             writing_.size() - writtenOfLine_, written);
        if (result == listener::TClientSocket::WriteResult::Error) {
            EndAfterFailedWrite(listener::TClientSocket::ErrorText(errno));
            return;
        }
        if (result == listener::TClientSocket::WriteResult::WouldBlock || written == 0)
            break;
        writtenOfLine_ += written;
        queuedBytes_ -= written;
        lastWriteProgress_ = platform::TimeGetTime();
    }
}

void TClientThread::EndAfterFailedWrite(const std::string& errorText) {
    DropOutput();
    writeFailed_ = true;
    ClientSocket()->Close();
    Core.Host.ShowError(errorText);
}

void TClientThread::DropOutput() {
    OutQueue.Clear();
    writing_.clear();
    writtenOfLine_ = 0;
    queuedBytes_ = 0;
}

void TClientThread::SendClosingError(std::string_view text) {
    auto* socket = ClientSocket();
    if (Terminated() || socket == nullptr)
        return;
    std::lock_guard guard(writeLock_);
    if (!socket->Connected())
        return;
    // Queued lines are never sent; a line already partly on the wire is finished
    // first when the socket takes it, so the peer never sees a torn line.
    OutQueue.Clear();
    queuedBytes_ = writing_.size() - writtenOfLine_;
    FlushQueue();
    if (queuedBytes_ == 0 && socket->Connected()) {
        const std::string line = "ERROR :ClosingLink: " + std::string(text) + "\r\n";
        std::size_t written = 0;
        socket->WriteSome(line.data(), line.size(), written);
    }
    DropOutput();
    socket->Close();
}
