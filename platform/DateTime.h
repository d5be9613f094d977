// The local date and time: the MOTD date line and the WHOIS idle time.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

using LocalDateTime = std::chrono::system_clock::time_point;

LocalDateTime Now();

// The local date and time as "d/m/yyyy h:n": day, month, hour (0 to 23) and minute
// without leading zeros, for example "6/12/2026 9:5".
std::string FormatDayMonthYearTime(LocalDateTime time);

// Whole seconds from earlier to later, rounded down (1 day and 1.9 s gives 86401).
int64_t WholeSecondsBetween(LocalDateTime earlier, LocalDateTime later);

}  // namespace platform
