// The one boundary between protocol text (code page 932 bytes) and the text a
// person reads outside the protocol: a terminal, the journal, the desktop window.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Code page 932 bytes as UTF-8. A byte that does not begin a character of the code
// page, or a lead byte without a valid trail byte, shows as the escape "\xNN" (upper
// case hexadecimal), so text that is not code page 932 never breaks the result.
std::string Cp932ToUtf8(std::string_view cp932);

// Code page 932 bytes as UTF-8; nothing when a byte begins no character of the code page
// or a lead byte lacks a valid trail byte.
std::optional<std::string> Cp932ToUtf8Exactly(std::string_view cp932);

// UTF-8 text as code page 932 bytes; nothing when the text is not valid UTF-8 or
// holds a character that code page 932 cannot hold.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

}  // namespace platform
