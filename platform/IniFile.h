// A small reader and writer of ini ("profile") files with the behaviour the settings
// code expects of profile files: "[Section]" headers, "key=value" lines, comment lines
// starting with ';', section and key names compared without regard to ASCII letter case.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// At most this many bytes of a value are returned (a 2048-byte buffer with its NUL).
inline constexpr std::size_t kMaxProfileValueBytes = 2047;

// The value of key in section, trimmed of blanks, without one pair of matching quotes
// ('...' or "...") around it, and cut to kMaxProfileValueBytes. A missing or unreadable
// file, section or key gives defaultValue (without its trailing blanks). When a section
// or key appears twice, the first one counts.
std::string GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultValue);

// The whole content of a regular file; nothing when it is missing, is not a regular
// file or cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

// Sets key in section to value, creating the file, the section or the key as needed.
// Every other byte of the file (other sections, keys, comments, blanks before the value,
// line ends) stays as it was. The new file replaces the old one by a rename. False when
// the file cannot be read or written.
bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value);

}  // namespace platform
