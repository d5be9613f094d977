// Where the service program's log entries go: the journal, under the identifier
// "Service1" with their priority, and standard error as well when standard error
// is not the journal (a terminal, a file, a pipe), one "<priority>Service1: text"
// line per line of the entry.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::string_view kJournalIdentifier = "Service1";

// Writes one entry (UTF-8). The journal is told without waiting for standard error;
// standard error gets the entry only as far as it takes it before `deadline`. A
// journal that is not running is no error.
void WriteJournalEntry(int priority, std::string_view utf8,
                       std::chrono::steady_clock::time_point deadline);

// The entry as standard-error lines: "<priority>Service1: " before each of its lines.
std::string JournalStreamLines(int priority, std::string_view utf8);

// True when `fd` is the stream that `journalStream` names: the value of JOURNAL_STREAM,
// "device:inode" of the journal's stream, which the service manager sets.
bool IsJournalStream(int fd, const char* journalStream);

// Writes all of `bytes` to `fd`, waiting for it to take them until `deadline` and no
// longer (a pipe that nobody reads, a stopped terminal). False when not all were written.
bool WriteBefore(int fd, std::string_view bytes, std::chrono::steady_clock::time_point deadline);

}  // namespace platform
