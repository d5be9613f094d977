#include "core/ConnectionOutput.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>
#include <vector>

#include "platform/Clock.h"

namespace {

// Rounds of writing one Flush makes for output that other threads keep queuing
// while it writes; then the connection's own thread takes over.
constexpr int kMaxWriteRounds = 4;

// What a drained output keeps of its buffers: room for the rounds of a busy channel
// (a smaller bound costs allocations on every round). A backlog (a long listing, a
// reader that fell behind) is given back once written.
constexpr std::size_t kRetainedBufferBytes = 16 * 1024;
// What a thread keeps of its list of the outputs of a burst.
constexpr std::size_t kRetainedBatchOutputs = 4 * TOutputBatch::kOwnWritesPerBurst;

constexpr std::string_view kLineEnd = "\r\n";

// The longest the writer waits for bursts being handled to join its next round.
constexpr std::chrono::microseconds kWaitForBurstsInHand{200};

// Where the line that holds byte `offset` of `bytes` ends (just past its CR LF);
// `offset` itself when a line begins there. `bytes` begins with a whole line.
std::size_t EndOfLineAt(const std::string& bytes, std::size_t offset) {
    if (offset == 0 || (offset >= 2 && bytes.compare(offset - 2, 2, kLineEnd) == 0))
        return offset;
    const auto lineEnd = bytes.find(kLineEnd, offset - 1);
    return lineEnd == std::string::npos ? bytes.size() : lineEnd + kLineEnd.size();
}

// Appends `line` to `out` as one line: a client's text may carry a CR or LF of its own,
// which would end the line early for the receiver and let the rest pass for a line of
// the server's; the line is cut there instead and ends with its CR LF.
void AppendWholeLine(std::string& out, std::string_view line) {
    const std::size_t body = line.size() >= kLineEnd.size() && line.ends_with(kLineEnd)
                                 ? line.size() - kLineEnd.size()
                                 : line.size();
    const std::size_t cr = line.substr(0, body).find('\r');
    const std::size_t lf = line.substr(0, body).find('\n');
    if (cr == std::string_view::npos && lf == std::string_view::npos && body < line.size()) {
        out.append(line);
        return;
    }
    out.append(line.substr(0, std::min({cr, lf, body})));
    out.append(kLineEnd);
}

thread_local int openBatches = 0;
thread_local std::vector<std::shared_ptr<TConnectionOutput>> deferredOutputs;
thread_local std::size_t batchBytes = 0;  // queued while the outermost batch is open

}  // namespace

TConnectionOutput::TConnectionOutput(std::shared_ptr<listener::TClientSocket> socket,
                                     std::size_t limitBytes)
    : socket_(std::move(socket)), limitBytes_(limitBytes) {}

bool TConnectionOutput::Append(std::string_view line) {
    TOutputBatch::NoteQueued(line.size());
    std::lock_guard lock(mutex_);
    if (failure_ != 0 || !socket_->Connected())
        return false;
    if (QueuedBytes() == 0)
        lastProgress_ = platform::TimeGetTime();  // a stall counts from here
    AppendWholeLine(pending_, line);
    if (QueuedBytes() > limitBytes_) {
        Fail(ENOBUFS);
        return false;
    }
    if (writerActive_ || flushPromised_ || waitsForRoom_)
        return false;
    flushPromised_ = true;
    return true;
}

void TConnectionOutput::Flush() {
    std::unique_lock lock(mutex_);
    flushPromised_ = false;
    waitsForRoom_ = false;  // whoever writes now sets it again if the socket fills
    if (writerActive_ || failure_ != 0)
        return;
    writerActive_ = true;
    bool socketTookAll = true;
    for (int round = 0; round < kMaxWriteRounds && socketTookAll && failure_ == 0; ++round) {
        if (written_ == writing_.size()) {
            writing_.clear();
            written_ = 0;
            if (pending_.empty())
                break;
            writing_.swap(pending_);
        }
        socketTookAll = WriteOnce(lock);
    }
    if (failure_ != 0) {
        writing_.clear();
        written_ = 0;
    }
    const bool leftOver = failure_ == 0 && QueuedBytes() > 0;
    waitsForRoom_ = leftOver;
    writerActive_ = false;
    if (!leftOver)
        ReleaseSpareCapacity();
    if (closingWaits_)
        writerDone_.notify_all();
    lock.unlock();
    if (leftOver)
        socket_->Wake();
}

bool TConnectionOutput::WriteOnce(std::unique_lock<std::mutex>& lock) {
    const char* data = writing_.data() + written_;
    const std::size_t size = writing_.size() - written_;
    lock.unlock();
    std::size_t written = 0;
    const auto result = socket_->WriteSome(data, size, written);
    const int error = errno;
    lock.lock();
    if (result == listener::TClientSocket::WriteResult::Error) {
        Fail(error);
        return false;
    }
    written_ += written;
    if (written > 0)
        lastProgress_ = platform::TimeGetTime();
    return written == size;
}

bool TConnectionOutput::WaitsForRoom() {
    std::lock_guard lock(mutex_);
    return waitsForRoom_;
}

void TConnectionOutput::EndIfStalled(uint32_t timeoutMs) {
    std::lock_guard lock(mutex_);
    // The clock is read under the lock: a writer that made progress a moment ago must
    // not look as if it had made it in the future.
    const uint32_t now = platform::TimeGetTime();
    if (failure_ == 0 && QueuedBytes() > 0 && platform::ElapsedMs(now, lastProgress_) > timeoutMs)
        Fail(ETIMEDOUT);
}

void TConnectionOutput::ReleaseSpareCapacity() {
    if (writing_.capacity() > kRetainedBufferBytes) {
        writing_.clear();
        writing_.shrink_to_fit();
        written_ = 0;
    }
    if (pending_.empty() && pending_.capacity() > kRetainedBufferBytes)
        pending_.shrink_to_fit();
}

int TConnectionOutput::Failure() {
    std::lock_guard lock(mutex_);
    return failure_;
}

std::size_t TConnectionOutput::Unwritten() {
    std::lock_guard lock(mutex_);
    return QueuedBytes();
}

void TConnectionOutput::Fail(int error) {
    if (failure_ == 0)
        failure_ = error;
    std::string().swap(pending_);
    if (!writerActive_) {
        writing_.clear();
        written_ = 0;
    }
    waitsForRoom_ = false;
    socket_->Close();
}

void TConnectionOutput::WriteClosingError(std::string_view line) {
    std::unique_lock lock(mutex_);
    // A writer only finishes one system call that never waits.
    closingWaits_ = true;
    writerDone_.wait(lock, [this] { return !writerActive_; });
    if (failure_ == 0 && socket_->Connected()) {
        std::string due(writing_, written_);
        if (waitsForRoom_)
            due.resize(EndOfLineAt(writing_, written_) - written_);  // the backlog is dropped
        else
            due += pending_;  // lines only waiting for the end of their batch still go
        AppendWholeLine(due, line);
        WriteNow(due);
    }
    std::string().swap(pending_);
    std::string().swap(writing_);
    written_ = 0;
    waitsForRoom_ = false;
    socket_->Close();
}

void TConnectionOutput::WriteNow(std::string_view bytes) {
    if (bytes.empty() || !socket_->Connected())
        return;
    std::size_t written = 0;
    socket_->WriteSome(bytes.data(), bytes.size(), written);
    if (written < bytes.size())
        socket_->Close();  // nothing may follow a line the socket did not take whole
}

// ---- TOutputWriter ----------------------------------------------------------------

TOutputWriter::TOutputWriter() : thread_(&TOutputWriter::Run, this) {}

TOutputWriter::~TOutputWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_one();
    thread_.join();
}

void TOutputWriter::HandOver(std::vector<std::shared_ptr<TConnectionOutput>>& outputs) {
    {
        std::lock_guard lock(mutex_);
        burstsInHand_.fetch_sub(1);
        if (outputs.empty() && burstsInHand_.load() > 0)
            return;
        if (due_.empty())
            due_.swap(outputs);
        else
            due_.insert(due_.end(), std::make_move_iterator(outputs.begin()),
                        std::make_move_iterator(outputs.end()));
    }
    outputs.clear();
    work_.notify_one();
}

void TOutputWriter::BurstEnds() {
    // Only a writer waiting for the bursts in hand needs to hear of the last one.
    if (burstsInHand_.fetch_sub(1) == 1 && lingering_.load()) {
        std::lock_guard lock(mutex_);
        work_.notify_one();
    }
}

void TOutputWriter::WaitUntilIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return due_.empty() && !writing_; });
}

void TOutputWriter::Run() {
    std::vector<std::shared_ptr<TConnectionOutput>> round;
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stopping_ || !due_.empty(); });
        if (due_.empty())
            return;  // stopping, and everything is written
        // Bursts being handled at this moment join this round, if they are quick.
        lingering_ = true;
        work_.wait_for(lock, kWaitForBurstsInHand,
                       [this] { return stopping_ || burstsInHand_.load() == 0; });
        lingering_ = false;
        round.swap(due_);
        writing_ = true;
        lock.unlock();
        for (const auto& output : round)
            output->Flush();
        round.clear();
        lock.lock();
        writing_ = false;
        idle_.notify_all();
    }
}

// ---- TOutputBatch ---------------------------------------------------------------

TOutputBatch::TOutputBatch(TOutputWriter& writer) : writer_(writer) {
    if (openBatches++ == 0)
        writer_.BurstBegins();
}

TOutputBatch::~TOutputBatch() {
    if (--openBatches != 0)
        return;
    const std::size_t queued = std::exchange(batchBytes, 0);
    if (!deferredOutputs.empty() &&
        (deferredOutputs.size() > kOwnWritesPerBurst || queued > kOwnWriteBytesPerBurst)) {
        writer_.HandOver(deferredOutputs);
    } else {
        writer_.BurstEnds();  // nothing of this burst joins the writer's round
        for (const auto& output : deferredOutputs)
            output->Flush();
        deferredOutputs.clear();
    }
    // A big fan-out's list is not kept by every thread that once made one.
    if (deferredOutputs.capacity() > kRetainedBatchOutputs)
        std::vector<std::shared_ptr<TConnectionOutput>>().swap(deferredOutputs);
}

void TOutputBatch::NoteQueued(std::size_t bytes) {
    if (openBatches != 0)
        batchBytes += bytes;
}

bool TOutputBatch::Defer(const std::shared_ptr<TConnectionOutput>& output) {
    if (openBatches == 0)
        return false;
    deferredOutputs.push_back(output);
    return true;
}
