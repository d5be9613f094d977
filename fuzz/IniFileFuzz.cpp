// Fuzz target of the ini reader and writer: a file of any content is read without
// harm (values within their size bound and never spanning lines, the settings loaded
// from it), and writing one key gives that key its value when read back, leaves the
// value of every other key as it was, and keeps every other line of the file.
//
// Input: section, a zero byte, key, a zero byte, value, a zero byte, then the file's
// content; with fewer than three zero bytes the whole input is the content and
// "Global", "ServerName" and "TavoServer" are written.
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Initial.h"
#include "fuzz/FuzzTargets.h"
#include "fuzz/ScratchFiles.h"
#include "platform/IniFile.h"

namespace fuzz {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kMissing = "(missing)";
constexpr std::size_t kMaxProbeNames = 4;  // of sections and of keys: 16 lookups at most

struct TWrite {
    std::string Section{"Global"}, Key{"ServerName"}, Value{"TavoServer"};
};

using TProbe = std::pair<std::string, std::string>;  // section, key

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
}

std::string Without(std::string_view text, std::string_view bytes) {
    std::string kept;
    for (const char byte : text) {
        if (bytes.find(byte) == std::string_view::npos)
            kept += byte;
    }
    return kept;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, {}, LowerAscii, LowerAscii);
}

// The lines' texts, without their line ends (LF, or CR LF).
std::vector<std::string_view> LineTexts(std::string_view content) {
    std::vector<std::string_view> lines;
    while (!content.empty()) {
        const auto lineFeed = content.find('\n');
        std::string_view line = content.substr(0, lineFeed);
        if (lineFeed != std::string_view::npos && line.ends_with('\r'))
            line.remove_suffix(1);
        lines.push_back(line);
        content.remove_prefix(lineFeed == std::string_view::npos ? content.size() : lineFeed + 1);
    }
    return lines;
}

// The write the input asks for, made into names an ini line can carry: no line
// breaks, no "]" in a section, no "=" in a key, no blanks around, a key that does not
// look like a comment or a section header.
TWrite ChosenWrite(std::string_view& input) {
    TWrite write;
    std::vector<std::string_view> fields;
    std::string_view rest = input;
    for (int i = 0; i < 3 && rest.find('\0') != std::string_view::npos; ++i) {
        fields.push_back(rest.substr(0, rest.find('\0')));
        rest.remove_prefix(fields.back().size() + 1);
    }
    if (fields.size() < 3)
        return write;
    input = rest;
    const std::string section(Trimmed(Without(fields[0], "\r\n]")));
    const std::string keyText = Without(fields[1], "\r\n=");
    const std::string_view key = Trimmed(std::string_view(keyText).substr(
        std::min(keyText.find_first_not_of("; \t["), keyText.size())));
    if (!section.empty() && !key.empty()) {
        write.Section = section;
        write.Key = key;
    }
    write.Value = Trimmed(Without(fields[2], "\r\n"));
    return write;
}

// Names to look up: the chosen ones and the first few that look like sections and
// keys in the content.
std::vector<TProbe> ProbesOf(std::string_view content, const TWrite& write) {
    std::vector<std::string> sections{write.Section}, keys{write.Key};
    for (const std::string_view line : LineTexts(content)) {
        const std::string_view text = Trimmed(line);
        const auto close = text.find(']');
        if (text.starts_with('[') && close != std::string_view::npos) {
            if (sections.size() < kMaxProbeNames)
                sections.emplace_back(Trimmed(text.substr(1, close - 1)));
        } else if (const auto equals = text.find('='); equals != std::string_view::npos) {
            if (keys.size() < kMaxProbeNames)
                keys.emplace_back(Trimmed(text.substr(0, equals)));
        }
    }
    std::vector<TProbe> probes;
    for (const auto& section : sections) {
        for (const auto& key : keys)
            probes.emplace_back(section, key);
    }
    return probes;
}

std::vector<std::string> ValuesOf(const std::filesystem::path& file,
                                  const std::vector<TProbe>& probes) {
    std::vector<std::string> values;
    for (const auto& [section, key] : probes) {
        values.push_back(platform::GetProfileString(file, section, key, kMissing));
        Require(values.back().size() <= platform::kMaxProfileValueBytes,
                "a value is longer than a value can be");
        Require(values.back().find('\n') == std::string::npos, "a value spans lines");
    }
    return values;
}

// What reading the written value back gives: one pair of quotes around it goes.
std::string ReadBack(std::string_view value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    if (quoted)
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, platform::kMaxProfileValueBytes));
}

// The new file is the old one with at most one line changed (the key's) and at most
// two added (the key's, and its section's header).
void CheckOtherLinesKept(std::string_view before, std::string_view after) {
    const auto old = LineTexts(before);
    const auto now = LineTexts(after);
    std::size_t head = 0;
    while (head < old.size() && head < now.size() && old[head] == now[head])
        ++head;
    std::size_t tail = 0;
    while (tail < old.size() - head && tail < now.size() - head &&
           old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
        ++tail;
    const std::size_t removed = old.size() - head - tail;
    const std::size_t added = now.size() - head - tail;
    Require(removed <= 1 && added <= removed + 2 && added >= removed,
            "writing a key changed other lines of the file");
}

}  // namespace

void FuzzIniFile(std::string_view input) {
    const TWrite write = ChosenWrite(input);
    const std::string_view content = input;
    const auto file = ScratchFolder() / "fuzz.ini";
    WriteScratchFile(file, content);

    TSettings settings;
    LoadSettings(settings, {file, ScratchFolder() / "no-motd.txt"});
    Require(settings.ServerName.size() <= platform::kMaxProfileValueBytes,
            "a loaded setting is longer than a value can be");

    const auto probes = ProbesOf(content, write);
    const auto before = ValuesOf(file, probes);
    Require(platform::WriteProfileString(file, write.Section, write.Key, write.Value),
            "a scratch file could not be written");
    const auto after = ValuesOf(file, probes);
    for (std::size_t i = 0; i < probes.size(); ++i) {
        const auto& [section, key] = probes[i];
        if (SameName(section, write.Section) && SameName(key, write.Key))
            Require(after[i] == ReadBack(write.Value), "a written value does not read back");
        else
            Require(after[i] == before[i], "writing one key changed another key's value");
    }
    const auto written = platform::ReadWholeFile(file);
    Require(written.has_value(), "the written file cannot be read");
    CheckOtherLinesKept(content, *written);
}

}  // namespace fuzz
