// Text rules of code page 932 (Shift_JIS) that the server applies to byte strings.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// True for a byte that starts a double-byte character (0x81-0x9F, 0xE0-0xFC).
bool IsLeadByte(unsigned char byte);

// Upper-cases by the code page's rules: bytes 'a' to 'z' become 'A' to 'Z'; both
// bytes of a double-byte character and every other byte stay as they are.
std::string UpperCase(std::string_view text);

// The longest beginning of the text of at most `maxBytes` bytes that does not end
// between the two bytes of a double-byte character.
std::string_view CutAtCharacter(std::string_view text, std::size_t maxBytes);

}  // namespace platform
