// The ini file reader and writer. The file is taken as lines; a lookup finds the first
// section of a name and the first key of a name in it, and a write rebuilds the file
// from the same lines with only that key's value changed or the key added.
#include "platform/IniFile.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

namespace platform {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kDefaultLineEnd = "\r\n";

// One line of the file: its text and its line end ("\r\n", "\n", or empty for a last
// line without one).
struct Line {
    std::string_view Text;
    std::string_view Ending;
};

// A "key=value" line: the key's name and where the value starts in the line.
struct KeyLine {
    std::string_view Key;
    std::size_t ValueOffset;
};

// Where a section and a key of it are among the lines.
struct Position {
    std::optional<std::size_t> Section;  // the header line
    std::optional<std::size_t> Key;      // the key's line
    std::size_t SectionEnd = 0;          // one past the section's last non-blank line
};

std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    while (!content.empty()) {
        const auto lineFeed = content.find('\n');
        if (lineFeed == std::string_view::npos) {
            lines.push_back({content, {}});
            break;
        }
        const auto textEnd =
            (lineFeed > 0 && content[lineFeed - 1] == '\r') ? lineFeed - 1 : lineFeed;
        lines.push_back(
            {content.substr(0, textEnd), content.substr(textEnd, lineFeed + 1 - textEnd)});
        content.remove_prefix(lineFeed + 1);
    }
    return lines;
}

// The line end a new line gets: the style the file already uses, else CR LF.
std::string_view LineEndOf(std::string_view content) {
    const auto lineFeed = content.find('\n');
    if (lineFeed == std::string_view::npos) {
        return kDefaultLineEnd;
    }
    return (lineFeed > 0 && content[lineFeed - 1] == '\r') ? "\r\n" : "\n";
}

std::string_view TrimEnd(std::string_view text) {
    const auto last = text.find_last_not_of(kBlanks);
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    return first == std::string_view::npos ? std::string_view{} : TrimEnd(text.substr(first));
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, {}, LowerAscii, LowerAscii);
}

std::optional<std::string_view> SectionNameOf(std::string_view line) {
    line = Trim(line);
    const auto close = line.find(']');
    if (!line.starts_with('[') || close == std::string_view::npos) {
        return std::nullopt;
    }
    return Trim(line.substr(1, close - 1));
}

std::optional<KeyLine> KeyLineOf(std::string_view line) {
    const auto start = line.find_first_not_of(kBlanks);
    if (start == std::string_view::npos || line[start] == ';' || line[start] == '[') {
        return std::nullopt;
    }
    const auto equals = line.find('=');
    const auto key = Trim(line.substr(0, equals));
    if (equals == std::string_view::npos || key.empty()) {
        return std::nullopt;
    }
    const auto valueStart = line.find_first_not_of(kBlanks, equals + 1);
    return KeyLine{key, valueStart == std::string_view::npos ? line.size() : valueStart};
}

std::string_view ValueOf(std::string_view line) {
    auto value = TrimEnd(line.substr(KeyLineOf(line)->ValueOffset));
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    return quoted ? value.substr(1, value.size() - 2) : value;
}

Position Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Position position;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = SectionNameOf(lines[i].Text)) {
            if (position.Section) {
                break;  // the section ended before the key was found
            }
            if (SameName(*name, section)) {
                position.Section = i;
                position.SectionEnd = i + 1;
            }
            continue;
        }
        if (!position.Section || Trim(lines[i].Text).empty()) {
            continue;
        }
        position.SectionEnd = i + 1;
        if (const auto keyLine = KeyLineOf(lines[i].Text); keyLine && SameName(keyLine->Key, key)) {
            position.Key = i;
            break;
        }
    }
    return position;
}

// What ends `line` before something is written after it: nothing when it has its line
// end; else the file's line end, but CR LF after a text that ends in CR, whose CR a lone
// LF would make part of the line end (and so take from the line's value).
std::string_view EndingToAdd(const Line& line, std::string_view lineEnd) {
    if (!line.Ending.empty()) {
        return {};
    }
    return line.Text.ends_with('\r') ? kDefaultLineEnd : lineEnd;
}

// The file's content with key set to value, added at the end of its section, or added
// with a new section at the end of the file.
std::string WithValue(std::string_view content, std::string_view section, std::string_view key,
                      std::string_view value) {
    const auto lines = SplitLines(content);
    const auto lineEnd = LineEndOf(content);
    const auto position = Locate(lines, section, key);
    const std::string entry = std::string(key) + "=" + std::string(value) + std::string(lineEnd);
    std::string result;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (i == position.Key) {
            result.append(line.Text.substr(0, KeyLineOf(line.Text)->ValueOffset))
                .append(value)
                .append(line.Ending);
            continue;
        }
        result.append(line.Text).append(line.Ending);
        if (!position.Key && position.Section && i + 1 == position.SectionEnd) {
            result.append(EndingToAdd(line, lineEnd)).append(entry);
        }
    }
    if (!position.Section) {
        if (!lines.empty()) {
            result.append(EndingToAdd(lines.back(), lineEnd));
        }
        result.append("[").append(section).append("]").append(lineEnd).append(entry);
    }
    return result;
}

// Writes content to a file beside target and renames it over target, keeping target's
// permissions.
bool ReplaceFile(const std::filesystem::path& target, std::string_view content) {
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out.write(content.data(), std::streamsize(content.size())) || !out.flush()) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    const auto status = std::filesystem::status(target, error);
    if (!error && std::filesystem::exists(status)) {
        std::filesystem::permissions(temporary, status.permissions(), error);
    }
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace

std::string GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultValue) {
    std::string_view value = TrimEnd(defaultValue);
    const auto content = ReadWholeFile(file);
    if (content) {
        const auto lines = SplitLines(*content);
        if (const auto position = Locate(lines, section, key); position.Key) {
            value = ValueOf(lines[*position.Key].Text);
        }
    }
    return std::string(value.substr(0, kMaxProfileValueBytes));
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
    std::error_code error;
    // Tested before opening: opening a named pipe would wait for a writer.
    if (!std::filesystem::is_regular_file(file, error)) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    try {
        return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    } catch (const std::ios_base::failure&) {
        return std::nullopt;
    }
}

bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value) {
    std::error_code error;
    std::string content;
    std::filesystem::path target = file;
    if (std::filesystem::exists(file, error)) {
        // The file replaced is the one a link names, and only when it may be written:
        // replacing it through its folder would override its own protection.
        target = std::filesystem::canonical(file, error);
        auto existing = ReadWholeFile(target);
        if (error || !existing || ::access(target.c_str(), W_OK) != 0) {
            return false;
        }
        content = std::move(*existing);
    }
    return ReplaceFile(target, WithValue(content, section, key, value));
}

}  // namespace platform
