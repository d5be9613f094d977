// The event log: entries reach the output in order and as UTF-8, bursts of one entry
// are written once with their count, writers never wait for a stuck output, and the
// end of the log is bounded in time; the journal's standard-error side never waits
// longer than it may.
#include "platform/EventLog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Journal.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace std::chrono_literals;
using platform::EventSeverity;
using platform::TEventLog;
using Clock = std::chrono::steady_clock;

struct TWritten {
    EventSeverity Severity;
    std::string Text;
    bool operator==(const TWritten&) const = default;
};

// What the log wrote, and a gate that holds the output until it is opened.
struct TRecorder {
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<TWritten> Entries;
    bool Open = true;

    void Record(EventSeverity severity, const std::string& text) {
        std::unique_lock lock(Mutex);
        Changed.wait(lock, [this] { return Open; });
        Entries.push_back({severity, text});
        Changed.notify_all();
    }
    void SetOpen(bool open) {
        std::lock_guard lock(Mutex);
        Open = open;
        Changed.notify_all();
    }
    std::vector<TWritten> WaitFor(std::size_t count, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(Mutex);
        Changed.wait_for(lock, timeout, [&] { return Entries.size() >= count; });
        return Entries;
    }
};

// A log writing into a recorder that outlives it (the writer thread may, too).
std::unique_ptr<TEventLog> RecordingLog(const std::shared_ptr<TRecorder>& recorder,
                                        platform::TEventLogLimits limits = {}) {
    return std::make_unique<TEventLog>(
        [recorder](EventSeverity severity, const std::string& text, Clock::time_point) {
            recorder->Record(severity, text);
        },
        limits);
}

TEST(EventLogTest, EntriesArriveInOrderConvertedToUtf8) {
    auto recorder = std::make_shared<TRecorder>();
    auto log = RecordingLog(recorder);
    log->Write(EventSeverity::Error, "\x8a\x4a\x8e\x6e: refused");  // "開始" in code page 932
    log->Write(EventSeverity::Notice,
               "MOTD \x81\x40\x80 line");  // a full-width blank, a stray byte
    log->Write(EventSeverity::Warning, "plain");
    log.reset();  // flushes
    EXPECT_EQ(recorder->Entries, (std::vector<TWritten>{
                                     {EventSeverity::Error, "開始: refused"},
                                     {EventSeverity::Notice, "MOTD \u3000\\x80 line"},
                                     {EventSeverity::Warning, "plain"},
                                 }));
}

TEST(EventLogTest, ABurstIsWrittenOnceAndThenWithItsCount) {
    auto recorder = std::make_shared<TRecorder>();
    auto log = RecordingLog(recorder, {.BurstWindow = 300ms});
    for (int i = 0; i < 5; ++i)
        log->Write(EventSeverity::Error, "reset by peer");
    log->Write(EventSeverity::Error, "other");  // ends the burst at once
    for (int i = 0; i < 3; ++i)
        log->Write(EventSeverity::Notice, "paused");
    // This burst ends when its window has passed, with nothing after it.
    const auto written = recorder->WaitFor(5);
    EXPECT_EQ(written, (std::vector<TWritten>{
                           {EventSeverity::Error, "reset by peer"},
                           {EventSeverity::Error, "reset by peer (repeated 4 more times)"},
                           {EventSeverity::Error, "other"},
                           {EventSeverity::Notice, "paused"},
                           {EventSeverity::Notice, "paused (repeated 2 more times)"},
                       }));
    // After the window the same entry starts a new burst; the same text with another
    // severity is another entry.
    log->Write(EventSeverity::Notice, "paused");
    log->Write(EventSeverity::Error, "paused");
    log.reset();
    ASSERT_EQ(recorder->Entries.size(), 7u);
    EXPECT_EQ(recorder->Entries[5], (TWritten{EventSeverity::Notice, "paused"}));
    EXPECT_EQ(recorder->Entries[6], (TWritten{EventSeverity::Error, "paused"}));
}

TEST(EventLogTest, WritersNeverWaitForAStuckOutputAndDropsAreCounted) {
    auto recorder = std::make_shared<TRecorder>();
    recorder->SetOpen(false);
    auto log = RecordingLog(recorder, {.QueueCapacity = 16});
    constexpr int kEntries = 10000;
    const auto start = Clock::now();
    for (int i = 0; i < kEntries; ++i)
        log->Write(EventSeverity::Error, "connection " + std::to_string(i) + " failed");
    EXPECT_LT(Clock::now() - start, 2s) << "a writer waited for the stuck output";

    recorder->SetOpen(true);
    log.reset();
    const auto& written = recorder->Entries;
    ASSERT_GE(written.size(), 17u);
    const TWritten& notice = written.back();
    EXPECT_EQ(notice.Severity, EventSeverity::Warning);
    const std::size_t dropped = std::stoul(notice.Text);
    EXPECT_EQ(notice.Text,
              std::to_string(dropped) + " entries were dropped: the log could not keep up");
    EXPECT_EQ(written.size() - 1 + dropped, static_cast<std::size_t>(kEntries));
    EXPECT_EQ(written.front().Text, "connection 0 failed");
    for (std::size_t i = 1; i + 1 < written.size(); ++i)
        EXPECT_LT(std::stoul(written[i - 1].Text.substr(11)),
                  std::stoul(written[i].Text.substr(11)));
}

TEST(EventLogTest, TheEndIsBoundedInTimeWhenTheOutputIsStuck) {
    auto recorder = std::make_shared<TRecorder>();
    recorder->SetOpen(false);
    auto log = RecordingLog(recorder, {.EntryTimeout = 100ms, .ShutdownTimeout = 200ms});
    log->Write(EventSeverity::Error, "stuck");
    log->Write(EventSeverity::Error, "behind it");
    const auto start = Clock::now();
    log.reset();
    EXPECT_LT(Clock::now() - start, 2s);
    recorder->SetOpen(true);  // the writer thread, left behind, finishes now
    EXPECT_EQ(recorder->WaitFor(2).size(), 2u);
}

// A pipe whose write end is full: nobody reads it.
struct TFullPipe {
    int Read = -1;
    int Write = -1;
    TFullPipe() {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe");
        Read = fds[0];
        Write = fds[1];
        fcntl(Write, F_SETFL, O_NONBLOCK);
        const std::string chunk(4096, 'x');
        while (write(Write, chunk.data(), chunk.size()) > 0) {
        }
        fcntl(Write, F_SETFL, 0);  // blocking again, as standard error usually is
    }
    ~TFullPipe() {
        close(Read);
        close(Write);
    }
};

TEST(JournalTest, StandardErrorIsWrittenOnlyWhileItTakesTheBytes) {
    TFullPipe full;
    const auto start = Clock::now();
    EXPECT_FALSE(platform::WriteBefore(full.Write, "<3>Service1: lost\n", start + 200ms));
    EXPECT_LT(Clock::now() - start, 2s);

    // A reader that drains the pipe lets a line longer than the pipe's atomic size
    // through whole.
    const std::string longLine = std::string(3 * 4096 + 17, 'y') + "\n";
    std::string drained;
    std::thread reader([&] {
        char buffer[8192];
        std::size_t wanted = 16 * 4096 + longLine.size();
        while (drained.size() < wanted) {
            const ssize_t got = read(full.Read, buffer, sizeof buffer);
            if (got <= 0)
                break;
            drained.append(buffer, static_cast<std::size_t>(got));
        }
    });
    EXPECT_TRUE(platform::WriteBefore(full.Write, longLine, Clock::now() + 10s));
    reader.join();
    EXPECT_TRUE(drained.ends_with(longLine));
}

TEST(JournalTest, StandardErrorIsTheJournalOnlyWhenJournalStreamNamesIt) {
    TTempFolder folder;
    const int fd = open((folder.Path() / "stream").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    struct stat status {};
    ASSERT_EQ(fstat(fd, &status), 0);
    const std::string device = std::to_string(status.st_dev);
    const std::string inode = std::to_string(status.st_ino);
    EXPECT_TRUE(platform::IsJournalStream(fd, (device + ":" + inode).c_str()));
    EXPECT_FALSE(platform::IsJournalStream(fd, (device + ":" + inode + "1").c_str()));
    EXPECT_FALSE(
        platform::IsJournalStream(fd, (std::to_string(status.st_dev + 1) + ":" + inode).c_str()));
    EXPECT_FALSE(platform::IsJournalStream(fd, "journal"));
    EXPECT_FALSE(platform::IsJournalStream(fd, nullptr));
    close(fd);
}

TEST(JournalTest, EveryLineOfAnEntryCarriesItsPriority) {
    EXPECT_EQ(platform::JournalStreamLines(3, "サービス失敗"), "<3>Service1: サービス失敗\n");
    EXPECT_EQ(platform::JournalStreamLines(5, "one\r\ntwo\nthree"),
              "<5>Service1: one\n<5>Service1: two\n<5>Service1: three\n");
}

}  // namespace
