// The system log of the service program: entries go to standard error with the
// "<N>" priority prefixes that the journal reads, under the identifier "Service1".
#pragma once

#include <string_view>

namespace platform {

enum class EventSeverity { Error = 3, Warning = 4, Information = 6 };

void WriteEventLog(EventSeverity severity, std::string_view text);

}  // namespace platform
