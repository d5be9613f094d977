#include "platform/CommandLine.h"

#include <algorithm>

namespace platform {

namespace {

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsSwitch(std::string_view argument, std::string_view word) {
    if (argument.empty() || (argument.front() != '-' && argument.front() != '/'))
        return false;
    argument.remove_prefix(1);
    return std::ranges::equal(argument, word,
                              [](char a, char b) { return AsciiUpper(a) == AsciiUpper(b); });
}

}  // namespace

bool HasSwitch(std::span<const std::string_view> arguments, std::string_view word) {
    return std::ranges::any_of(arguments,
                               [&](std::string_view argument) { return IsSwitch(argument, word); });
}

}  // namespace platform
