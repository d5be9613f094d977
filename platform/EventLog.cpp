// The event log's queue, its writer thread and the service program's one log.
#include "platform/EventLog.h"

#include <signal.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "platform/Journal.h"
#include "platform/TextEncoding.h"

namespace platform {

namespace {

struct TEntry {
    EventSeverity Severity;
    std::string Text;  // code page 932
};

// Entries with the same severity and text that came after Start within the burst window.
struct TBurst {
    TEntry First;
    TEventLog::Clock::time_point Start;
    std::size_t Repeats = 0;
};

}  // namespace

struct TEventLog::TState {
    TState(Output output, TEventLogLimits limits) : WriteOut(std::move(output)), Limits(limits) {}

    // These four with `Mutex` held.
    void Queue(TEntry entry);
    void EndBurst();
    void EndBurstWhenDue();
    bool Idle() const { return Entries.empty() && Dropped == 0; }
    TEntry TakeNext();

    void Run();  // the writer thread

    const Output WriteOut;
    const TEventLogLimits Limits;
    std::mutex Mutex;
    std::condition_variable Wake;      // an entry came, or the log ends
    std::condition_variable Finished;  // the writer thread is done
    std::deque<TEntry> Entries;
    std::size_t Dropped = 0;
    std::optional<TBurst> Burst;
    bool Stopping = false;
    Clock::time_point StopDeadline;
    bool Done = false;
};

void TEventLog::TState::Queue(TEntry entry) {
    if (Entries.size() >= Limits.QueueCapacity) {
        ++Dropped;
        return;
    }
    Entries.push_back(std::move(entry));
    Wake.notify_one();
}

void TEventLog::TState::EndBurst() {
    if (Burst && Burst->Repeats > 0) {
        Queue({Burst->First.Severity, Burst->First.Text + " (repeated " +
                                          std::to_string(Burst->Repeats) + " more times)"});
    }
    Burst.reset();
}

void TEventLog::TState::EndBurstWhenDue() {
    if (Burst && Clock::now() - Burst->Start >= Limits.BurstWindow)
        EndBurst();
}

TEntry TEventLog::TState::TakeNext() {
    if (Entries.empty()) {
        TEntry notice{EventSeverity::Warning,
                      std::to_string(Dropped) + " entries were dropped: the log could not keep up"};
        Dropped = 0;
        return notice;
    }
    TEntry entry = std::move(Entries.front());
    Entries.pop_front();
    return entry;
}

void TEventLog::TState::Run() {
    // Signals are for the program's other threads; a closed standard error gives EPIPE here.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);

    std::unique_lock lock(Mutex);
    for (;;) {
        EndBurstWhenDue();
        if (!Idle()) {
            const TEntry entry = TakeNext();
            const Clock::time_point deadline =
                Stopping ? StopDeadline : Clock::now() + Limits.EntryTimeout;
            lock.unlock();
            WriteOut(entry.Severity, Cp932ToUtf8(entry.Text), deadline);
            lock.lock();
            continue;
        }
        if (Stopping)
            break;
        if (Burst)
            Wake.wait_until(lock, Burst->Start + Limits.BurstWindow);
        else
            Wake.wait(lock);
    }
    Done = true;
    Finished.notify_all();
}

TEventLog::TEventLog(Output output, TEventLogLimits limits)
    : state_(std::make_shared<TState>(std::move(output), limits)),
      writer_([state = state_] { state->Run(); }) {}

TEventLog::~TEventLog() {
    std::unique_lock lock(state_->Mutex);
    state_->Stopping = true;
    state_->StopDeadline = Clock::now() + state_->Limits.ShutdownTimeout;
    state_->EndBurst();
    state_->Wake.notify_one();
    // The output gives up at the deadline; the extra time covers the entry in hand.
    const bool done = state_->Finished.wait_until(
        lock, state_->StopDeadline + state_->Limits.EntryTimeout, [this] { return state_->Done; });
    lock.unlock();
    if (done)
        writer_.join();
    else
        writer_.detach();  // the output is stuck; the thread keeps the state alive
}

void TEventLog::Write(EventSeverity severity, std::string_view text) {
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(state_->Mutex);
    std::optional<TBurst>& burst = state_->Burst;
    if (burst && burst->First.Severity == severity && burst->First.Text == text &&
        now - burst->Start < state_->Limits.BurstWindow) {
        ++burst->Repeats;
        return;
    }
    state_->EndBurst();
    TEntry entry{severity, std::string(text)};
    burst = TBurst{entry, now};
    state_->Queue(std::move(entry));
}

void WriteEventLog(EventSeverity severity, std::string_view text) {
    static TEventLog serviceLog([](EventSeverity entrySeverity, const std::string& utf8,
                                   TEventLog::Clock::time_point deadline) {
        WriteJournalEntry(static_cast<int>(entrySeverity), utf8, deadline);
    });
    serviceLog.Write(severity, text);
}

}  // namespace platform
