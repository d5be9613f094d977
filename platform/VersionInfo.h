// Version blocks of executables. A program defines its block in one source file with
// TAVO_VERSION_BLOCK; the block is encoded at compile time into the ELF section
// ".tavo_version" of the executable. ReadVersionBlock finds that section in any file on
// disk, and QueryVersionValue answers the paths "\VarFileInfo\Translation" and
// "\StringFileInfo\<language><code page>\<item>".
//
// Encoded form (16-bit numbers little-endian): the magic "TAVOVER1"; FileVersion and
// ProductVersion as four numbers each; the language and the code page of the one
// translation; then for every string its name, a zero byte, its value, a zero byte;
// an empty name (a single zero byte) ends the list.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#define TAVO_VERSION_SECTION ".tavo_version"

namespace platform {

inline constexpr uint16_t kJapaneseLanguage = 0x0411;
inline constexpr uint16_t kShiftJisCodePage = 0x03a4;

struct VersionNumber {
    uint16_t Major = 0, Minor = 0, Release = 0, Build = 0;
    friend bool operator==(const VersionNumber&, const VersionNumber&) = default;
};

// One string of a block as a program writes it.
struct VersionString {
    std::string_view Name;
    std::string_view Value;
};

// What a program writes into its block.
struct VersionBlockSource {
    VersionNumber FileVersion;
    VersionNumber ProductVersion;
    std::span<const VersionString> Strings;
    uint16_t Language = kJapaneseLanguage;
    uint16_t CodePage = kShiftJisCodePage;
};

// A block read back from a file.
struct VersionBlock {
    VersionNumber FileVersion;
    VersionNumber ProductVersion;
    uint16_t Language = 0;
    uint16_t CodePage = 0;
    std::vector<std::pair<std::string, std::string>> Strings;  // name, value
};

inline constexpr std::string_view kVersionBlockMagic = "TAVOVER1";
inline constexpr std::size_t kVersionBlockFixedBytes = kVersionBlockMagic.size() + 10 * 2;

constexpr std::size_t EncodedVersionBlockSize(const VersionBlockSource& source) {
    std::size_t size = kVersionBlockFixedBytes + 1;
    for (const auto& string : source.Strings) {
        size += string.Name.size() + 1 + string.Value.size() + 1;
    }
    return size;
}

template <std::size_t Size>
constexpr std::array<char, Size> EncodeVersionBlock(const VersionBlockSource& source) {
    std::array<char, Size> bytes{};
    std::size_t at = 0;
    auto putText = [&](std::string_view text) {
        for (char c : text) {
            bytes[at++] = c;
        }
        bytes[at++] = '\0';
    };
    auto putNumber = [&](uint16_t number) {
        bytes[at++] = char(number & 0xff);
        bytes[at++] = char(number >> 8);
    };
    auto putVersion = [&](const VersionNumber& version) {
        for (uint16_t part : {version.Major, version.Minor, version.Release, version.Build}) {
            putNumber(part);
        }
    };
    for (char c : kVersionBlockMagic) {
        bytes[at++] = c;
    }
    putVersion(source.FileVersion);
    putVersion(source.ProductVersion);
    putNumber(source.Language);
    putNumber(source.CodePage);
    for (const auto& string : source.Strings) {
        putText(string.Name);
        putText(string.Value);
    }
    putText({});
    return bytes;
}

// Decodes an encoded block; nothing when the bytes are not a complete block.
std::optional<VersionBlock> ParseVersionBlock(std::span<const char> bytes);

// The block in the ".tavo_version" section of an ELF64 file; nothing when the file is
// missing, is not a little-endian ELF64 file, or has no such section.
std::optional<VersionBlock> ReadVersionBlock(const std::filesystem::path& file);

// The value at path, names matched as written (the language and code page as
// hexadecimal in either letter case): "\VarFileInfo\Translation" gives four bytes (the
// language, then the code page, little-endian), "\StringFileInfo\041103a4\ProductVersion"
// a string. Nothing for any other path or a missing string.
std::optional<std::string> QueryVersionValue(const VersionBlock& block, std::string_view path);

}  // namespace platform

// Defines the version block of the program in the source file that uses it, kept in
// the executable even though no code refers to it.
#define TAVO_VERSION_BLOCK(source)                                                           \
    [[gnu::section(TAVO_VERSION_SECTION), gnu::used]] constexpr auto tavoVersionBlockImage = \
        ::platform::EncodeVersionBlock<::platform::EncodedVersionBlockSize(source)>(source)
