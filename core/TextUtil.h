// Small byte-string helpers shared by the collections and the command handlers.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The text without its leading and trailing bytes 0x00 to 0x20 (blanks and control bytes).
std::string TrimControls(std::string_view text);

// The text with its "%s" placeholders replaced by `values`, in order; the text must hold
// one placeholder for each value.
std::string FillPlaceholders(std::string_view text, std::initializer_list<std::string_view> values);

// The byte with the ASCII letters a to z upper-cased; every other byte as it is.
constexpr char AsciiUpper(char byte) {
    return byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : byte;
}

// True when both texts are equal after upper-casing by the code page's rules.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);
