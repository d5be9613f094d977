// Fuzz target of the version-block reader: any bytes, as an encoded block and as a
// file, are read without harm; a block that is read is exactly the bytes it came
// from (encoding it again gives them back), and the path queries answer its
// translation and, under that translation, each of its strings.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "fuzz/FuzzTargets.h"
#include "fuzz/ScratchFiles.h"
#include "platform/VersionInfo.h"

namespace fuzz {

namespace {

// Strings whose queries are checked, so that a block of very many short strings stays quick.
constexpr std::size_t kMaxStringsChecked = 64;

void PutNumber(std::string& bytes, uint16_t number) {
    bytes += static_cast<char>(number & 0xff);
    bytes += static_cast<char>(number >> 8);
}

void PutVersion(std::string& bytes, const platform::VersionNumber& version) {
    for (const uint16_t part : {version.Major, version.Minor, version.Release, version.Build})
        PutNumber(bytes, part);
}

// The block in its encoded form, as a program's build writes it.
std::string Encoded(const platform::VersionBlock& block) {
    std::string bytes(platform::kVersionBlockMagic);
    PutVersion(bytes, block.FileVersion);
    PutVersion(bytes, block.ProductVersion);
    PutNumber(bytes, block.Language);
    PutNumber(bytes, block.CodePage);
    for (const auto& [name, value] : block.Strings) {
        bytes.append(name).append(1, '\0');
        bytes.append(value).append(1, '\0');
    }
    return bytes.append(1, '\0');
}

std::string TranslationHex(const platform::VersionBlock& block, const char* format) {
    char hex[9];
    std::snprintf(hex, sizeof hex, format, unsigned{block.Language}, unsigned{block.CodePage});
    return hex;
}

void CheckQueries(const platform::VersionBlock& block) {
    const auto translation = platform::QueryVersionValue(block, "\\VarFileInfo\\Translation");
    const std::string expected{
        static_cast<char>(block.Language & 0xff), static_cast<char>(block.Language >> 8),
        static_cast<char>(block.CodePage & 0xff), static_cast<char>(block.CodePage >> 8)};
    Require(translation == expected, "the translation query answers another translation");
    // The translation may be written in either letter case; of strings of one name,
    // the first counts.
    const std::size_t checked = std::min(block.Strings.size(), kMaxStringsChecked);
    for (const char* format : {"%04x%04x", "%04X%04X"}) {
        const std::string table = "\\StringFileInfo\\" + TranslationHex(block, format) + "\\";
        for (std::size_t i = 0; i < checked; ++i) {
            const std::string& name = block.Strings[i].first;
            const auto answer = platform::QueryVersionValue(block, table + name);
            Require(answer.has_value(), "a string of the block is not found");
            const auto first = block.Strings.begin();
            const bool isFirst =
                std::none_of(first, first + static_cast<std::ptrdiff_t>(i),
                             [&](const auto& other) { return other.first == name; });
            Require(!isFirst || *answer == block.Strings[i].second,
                    "a string query answers another value");
        }
    }
    // The strings' values as paths too, for queries of any shape.
    for (std::size_t i = 0; i < checked; ++i)
        platform::QueryVersionValue(block, block.Strings[i].second);
}

}  // namespace

void FuzzVersionBlock(std::string_view input) {
    if (const auto block = platform::ParseVersionBlock(std::span(input.data(), input.size()))) {
        Require(input.starts_with(Encoded(*block)), "a parsed block is not the bytes it came from");
        CheckQueries(*block);
    }
    const auto file = ScratchFolder() / "version.bin";
    WriteScratchFile(file, input);
    if (const auto block = platform::ReadVersionBlock(file)) {
        Require(input.find(Encoded(*block)) != std::string_view::npos,
                "a block read from a file is not bytes of the file");
        CheckQueries(*block);
    }
}

}  // namespace fuzz
