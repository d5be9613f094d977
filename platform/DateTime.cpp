// Local date and time through localtime_r; the date separator is "/" and the time
// separator ":".
#include "platform/DateTime.h"

#include <charconv>
#include <ctime>

namespace platform {

namespace {

// Decimal digits without leading zeros. Not printf: a connection's thread formats
// this in its welcome, and its small stack should not grow by printf's frames.
void AppendNumber(std::string& text, int value) {
    char digits[12];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace

LocalDateTime Now() {
    return std::chrono::system_clock::now();
}

std::string FormatDayMonthYearTime(LocalDateTime time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    std::string text;
    AppendNumber(text, local.tm_mday);
    text += '/';
    AppendNumber(text, local.tm_mon + 1);
    text += '/';
    AppendNumber(text, local.tm_year + 1900);
    text += ' ';
    AppendNumber(text, local.tm_hour);
    text += ':';
    AppendNumber(text, local.tm_min);
    return text;
}

int64_t WholeSecondsBetween(LocalDateTime earlier, LocalDateTime later) {
    return std::chrono::floor<std::chrono::seconds>(later - earlier).count();
}

}  // namespace platform
