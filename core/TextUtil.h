// Small byte-string helpers shared by the collections and the command handlers.
#pragma once

#include <string>
#include <string_view>

// The text without its leading and trailing bytes 0x00 to 0x20 (blanks and control bytes).
std::string TrimControls(std::string_view text);

// True when both texts are equal after upper-casing by the code page's rules.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);
