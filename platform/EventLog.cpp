#include "platform/EventLog.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace platform {

void WriteEventLog(EventSeverity severity, std::string_view text) {
    static std::mutex serialise;
    const std::string entry =
        "<" + std::to_string(static_cast<int>(severity)) + ">Service1: " + std::string(text) + "\n";
    std::lock_guard guard(serialise);
    std::fwrite(entry.data(), 1, entry.size(), stderr);
    std::fflush(stderr);
}

}  // namespace platform
