// The system log of the service program. Writing an entry never waits for the
// log's reader: entries go into a bounded queue that a writer thread of the log's
// own hands on, converted from code page 932 to UTF-8, to the journal (under the
// identifier "Service1") and, when standard error is not the journal, to standard
// error as well.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace platform {

// The journal's priorities.
enum class EventSeverity { Error = 3, Warning = 4, Notice = 5, Information = 6 };

// Queues one entry of the program's log. `text` is code page 932. Any thread; never
// waits for the log's reader.
void WriteEventLog(EventSeverity severity, std::string_view text);

struct TEventLogLimits {
    std::size_t QueueCapacity = 1024;  // entries waiting for the writer; more are dropped
    // An entry with the same severity and text as the burst's first entry, within
    // this time of it, is counted instead of written; the count ends the burst.
    std::chrono::milliseconds BurstWindow{1000};
    std::chrono::milliseconds EntryTimeout{1000};  // longest wait for the output to take an entry
    std::chrono::milliseconds ShutdownTimeout{2000};  // longest wait to flush the queue at the end
};

// A log with its own writer thread. Entries reach the output in the order they
// were written; entries that do not fit in the queue are counted and the count is
// written in their stead ("N entries were dropped"); a burst of the same entry is
// written once and then once more with the number of repeats.
class TEventLog {
  public:
    using Clock = std::chrono::steady_clock;
    // Writes one entry, its text UTF-8, giving up at `deadline`. Runs in the writer thread.
    using Output =
        std::function<void(EventSeverity, const std::string& utf8, Clock::time_point deadline)>;

    explicit TEventLog(Output output, TEventLogLimits limits = {});
    // Writes what is queued, waiting no longer than the shutdown timeout.
    ~TEventLog();
    TEventLog(const TEventLog&) = delete;
    TEventLog& operator=(const TEventLog&) = delete;

    // Queues one entry; `text` is code page 932. Any thread; never waits for the output.
    void Write(EventSeverity severity, std::string_view text);

  private:
    struct TState;
    // Shared with the writer thread, which outlives the log when the output is
    // still stuck at the end of the shutdown timeout.
    std::shared_ptr<TState> state_;
    std::thread writer_;
};

}  // namespace platform
