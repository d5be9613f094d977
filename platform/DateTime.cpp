// Local date and time through localtime_r; the date separator is "/" and the time
// separator ":".
#include "platform/DateTime.h"

#include <cstdio>
#include <ctime>

namespace platform {

LocalDateTime Now() {
    return std::chrono::system_clock::now();
}

std::string FormatDayMonthYearTime(LocalDateTime time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%d/%d/%d %d:%d", local.tm_mday, local.tm_mon + 1,
                  local.tm_year + 1900, local.tm_hour, local.tm_min);
    return text;
}

int64_t WholeSecondsBetween(LocalDateTime earlier, LocalDateTime later) {
    return std::chrono::floor<std::chrono::seconds>(later - earlier).count();
}

}  // namespace platform
