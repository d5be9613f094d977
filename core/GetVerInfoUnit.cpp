// Reads a version string the way the version-information functions are asked: the
// block, then its translation, then the string under "\StringFileInfo\<lang><cp>\".
#include "core/GetVerInfoUnit.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "platform/VersionInfo.h"

namespace {

// "\StringFileInfo\" + the language (low 16 bits of the first translation entry) and
// the code page (high 16 bits) as four lower-case hexadecimal digits each + "\".
std::optional<std::string> StringTablePath(const platform::VersionBlock& block) {
    const auto translation = platform::QueryVersionValue(block, "\\VarFileInfo\\Translation");
    if (!translation || translation->size() < 4) {
        return std::nullopt;
    }
    const auto byte = [&](std::size_t i) { return unsigned(uint8_t((*translation)[i])); };
    char path[32];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\", byte(0) | byte(1) << 8,
                  byte(2) | byte(3) << 8);
    return path;
}

}  // namespace

std::string ReadVersionString(const std::filesystem::path& file, std::string_view item) {
    const auto block = platform::ReadVersionBlock(file);
    const auto table = block ? StringTablePath(*block) : std::nullopt;
    if (!table) {
        return "";
    }
    return platform::QueryVersionValue(*block, *table + std::string(item)).value_or("");
}
