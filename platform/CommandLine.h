// Command-line switches, the same in both programs.
#pragma once

#include <span>
#include <string_view>

namespace platform {

// True when some argument is `word`, in any letter case, behind a leading "-" or
// "/": "/install", "-INSTALL" and "/Install" are the switch INSTALL; "INSTALL" is not.
bool HasSwitch(std::span<const std::string_view> arguments, std::string_view word);

}  // namespace platform
