// Reading version blocks: the ELF64 section lookup, the decoding of the block and the
// path queries.
#include "platform/VersionInfo.h"

#include <elf.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <fstream>

namespace platform {

namespace {

static_assert(std::endian::native == std::endian::little,
              "ELF headers are read in the host's byte order");

// Reads byte ranges of a file, refusing any range that lies outside it.
class FileBytes {
  public:
    explicit FileBytes(const std::filesystem::path& file) : in_(file, std::ios::binary) {
        in_.seekg(0, std::ios::end);
        size_ = in_ ? uint64_t(in_.tellg()) : 0;
    }

    bool Holds(uint64_t offset, uint64_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }

    bool ReadAt(uint64_t offset, void* destination, uint64_t count) {
        if (!Holds(offset, count)) {
            return false;
        }
        in_.seekg(std::streamoff(offset));
        return bool(in_.read(static_cast<char*>(destination), std::streamsize(count)));
    }

    std::optional<std::vector<char>> ReadSection(const Elf64_Shdr& section) {
        if (section.sh_type == SHT_NOBITS || !Holds(section.sh_offset, section.sh_size)) {
            return std::nullopt;
        }
        std::vector<char> bytes(section.sh_size);
        if (!ReadAt(section.sh_offset, bytes.data(), bytes.size())) {
            return std::nullopt;
        }
        return bytes;
    }

  private:
    std::ifstream in_;
    uint64_t size_ = 0;
};

bool IsElf64LittleEndian(const Elf64_Ehdr& header) {
    return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
           header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_ident[EI_DATA] == ELFDATA2LSB &&
           header.e_shentsize == sizeof(Elf64_Shdr);
}

std::optional<std::vector<Elf64_Shdr>> ReadSectionHeaders(FileBytes& file,
                                                          const Elf64_Ehdr& header) {
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!file.ReadAt(header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) {
        return std::nullopt;
    }
    return sections;
}

// The name at offset in the section-name table, or empty when it runs outside it.
std::string_view SectionName(const std::vector<char>& names, uint64_t offset) {
    if (offset >= names.size()) {
        return {};
    }
    const std::string_view rest(names.data() + offset, names.size() - offset);
    const auto end = rest.find('\0');
    return end == std::string_view::npos ? std::string_view{} : rest.substr(0, end);
}

std::optional<std::vector<char>> ReadNamedSection(const std::filesystem::path& path,
                                                  std::string_view wanted) {
    FileBytes file(path);
    Elf64_Ehdr header{};
    if (!file.ReadAt(0, &header, sizeof header) || !IsElf64LittleEndian(header)) {
        return std::nullopt;
    }
    const auto sections = ReadSectionHeaders(file, header);
    if (!sections || header.e_shstrndx >= sections->size()) {
        return std::nullopt;
    }
    const auto names = file.ReadSection((*sections)[header.e_shstrndx]);
    if (!names) {
        return std::nullopt;
    }
    for (const auto& section : *sections) {
        if (SectionName(*names, section.sh_name) == wanted) {
            return file.ReadSection(section);
        }
    }
    return std::nullopt;
}

// Takes the parts of an encoded block from its front.
class BlockReader {
  public:
    explicit BlockReader(std::string_view bytes) : rest_(bytes) {}

    bool SkipMagic() {
        if (!rest_.starts_with(kVersionBlockMagic) || rest_.size() < kVersionBlockFixedBytes) {
            return false;
        }
        rest_.remove_prefix(kVersionBlockMagic.size());
        return true;
    }

    // Only after SkipMagic, for the fixed part whose size it has checked.
    uint16_t Number() {
        const auto number = uint16_t(uint8_t(rest_[0]) | uint8_t(rest_[1]) << 8);
        rest_.remove_prefix(2);
        return number;
    }

    VersionNumber Version() {
        VersionNumber version;
        for (uint16_t* part : {&version.Major, &version.Minor, &version.Release, &version.Build}) {
            *part = Number();
        }
        return version;
    }

    std::optional<std::string> Text() {
        const auto end = rest_.find('\0');
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        std::string text(rest_.substr(0, end));
        rest_.remove_prefix(end + 1);
        return text;
    }

  private:
    std::string_view rest_;
};

// True when hex (eight hexadecimal digits) names the block's translation.
bool NamesTranslation(std::string_view hex, const VersionBlock& block) {
    uint32_t number = 0;
    const auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), number, 16);
    return hex.size() == 8 && error == std::errc{} && end == hex.data() + hex.size() &&
           number == (uint32_t(block.Language) << 16 | block.CodePage);
}

std::optional<std::string> QueryString(const VersionBlock& block, std::string_view tableAndItem) {
    const auto slash = tableAndItem.find('\\');
    if (slash == std::string_view::npos ||
        !NamesTranslation(tableAndItem.substr(0, slash), block)) {
        return std::nullopt;
    }
    const auto item = tableAndItem.substr(slash + 1);
    const auto found =
        std::ranges::find(block.Strings, item, &std::pair<std::string, std::string>::first);
    if (found == block.Strings.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace

std::optional<VersionBlock> ParseVersionBlock(std::span<const char> bytes) {
    BlockReader reader(std::string_view(bytes.data(), bytes.size()));
    if (!reader.SkipMagic()) {
        return std::nullopt;
    }
    VersionBlock block;
    block.FileVersion = reader.Version();
    block.ProductVersion = reader.Version();
    block.Language = reader.Number();
    block.CodePage = reader.Number();
    while (true) {
        auto name = reader.Text();
        if (!name) {
            return std::nullopt;
        }
        if (name->empty()) {
            return block;
        }
        auto value = reader.Text();
        if (!value) {
            return std::nullopt;
        }
        block.Strings.emplace_back(std::move(*name), std::move(*value));
    }
}

std::optional<VersionBlock> ReadVersionBlock(const std::filesystem::path& file) {
    const auto section = ReadNamedSection(file, TAVO_VERSION_SECTION);
    return section ? ParseVersionBlock(*section) : std::nullopt;
}

std::optional<std::string> QueryVersionValue(const VersionBlock& block, std::string_view path) {
    constexpr std::string_view kTranslation = "\\VarFileInfo\\Translation";
    constexpr std::string_view kStringTables = "\\StringFileInfo\\";
    if (path == kTranslation) {
        const char translation[] = {char(block.Language & 0xff), char(block.Language >> 8),
                                    char(block.CodePage & 0xff), char(block.CodePage >> 8)};
        return std::string(translation, sizeof translation);
    }
    if (path.starts_with(kStringTables)) {
        return QueryString(block, path.substr(kStringTables.size()));
    }
    return std::nullopt;
}

}  // namespace platform
