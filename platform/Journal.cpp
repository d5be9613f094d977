// The journal through libsystemd, and standard error written with a time limit.
#include "platform/Journal.h"

#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/uio.h>
// Entries carry no source-code location fields.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

iovec Field(const std::string& field) {
    return {const_cast<char*>(field.data()), field.size()};
}

void SendToJournal(int priority, std::string_view utf8) {
    const std::string message = "MESSAGE=" + std::string(utf8);
    const std::string priorityField = "PRIORITY=" + std::to_string(priority);
    const std::string identifier = "SYSLOG_IDENTIFIER=" + std::string(kJournalIdentifier);
    const iovec fields[] = {Field(message), Field(priorityField), Field(identifier)};
    sd_journal_sendv(fields, 3);  // fails without a running journal, which is no error here
}

int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, INT_MAX));
}

}  // namespace

void WriteJournalEntry(int priority, std::string_view utf8,
                       std::chrono::steady_clock::time_point deadline) {
    SendToJournal(priority, utf8);
    if (!IsJournalStream(STDERR_FILENO, std::getenv("JOURNAL_STREAM")))
        WriteBefore(STDERR_FILENO, JournalStreamLines(priority, utf8), deadline);
}

std::string JournalStreamLines(int priority, std::string_view utf8) {
    const std::string prefix =
        "<" + std::to_string(priority) + ">" + std::string(kJournalIdentifier) + ": ";
    std::string lines;
    for (;;) {
        const std::size_t end = utf8.find('\n');
        std::string_view line = utf8.substr(0, end);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        lines.append(prefix).append(line).append("\n");
        if (end == std::string_view::npos)
            return lines;
        utf8.remove_prefix(end + 1);
    }
}

bool IsJournalStream(int fd, const char* journalStream) {
    uintmax_t device = 0;
    uintmax_t inode = 0;
    if (journalStream == nullptr ||
        std::sscanf(journalStream, "%" SCNuMAX ":%" SCNuMAX, &device, &inode) != 2)
        return false;
    struct stat status {};
    return fstat(fd, &status) == 0 && status.st_dev == device && status.st_ino == inode;
}

bool WriteBefore(int fd, std::string_view bytes, std::chrono::steady_clock::time_point deadline) {
    while (!bytes.empty()) {
        pollfd target{fd, POLLOUT, 0};
        const int ready = poll(&target, 1, MillisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (target.revents & POLLOUT) == 0)
            return false;
        // A pipe that polls writable takes PIPE_BUF bytes without blocking.
        const ssize_t written =
            write(fd, bytes.data(), std::min<std::size_t>(bytes.size(), PIPE_BUF));
        if (written < 0 && (errno == EINTR || errno == EAGAIN) && MillisecondsUntil(deadline) > 0)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace platform
