// Loading and saving the settings (ini section "Global") and the message of the day.
#include "core/Initial.h"

#include <charconv>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "JapaneseTexts.h"
#include "core/TextUtil.h"
#include "platform/IniFile.h"

namespace {

constexpr std::string_view kSection = "Global";

// The whole text as a number of the base; from_chars itself accepts a leading "-".
std::optional<int32_t> ParseNumber(std::string_view text, int base) {
    int32_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

// A decimal number with an optional sign, or a hexadecimal one after "$"; nothing when
// the text is anything else or the number does not fit 32 bits.
std::optional<int32_t> ConvertInteger(std::string_view text) {
    const bool hexadecimal = text.starts_with('$');
    const bool plus = text.starts_with('+');
    if (hexadecimal || plus) {
        text.remove_prefix(1);
        if (text.starts_with('-')) {
            return std::nullopt;
        }
    }
    return ParseNumber(text, hexadecimal ? 16 : 10);
}

int32_t ReadInteger(const TSettingsFiles& files, std::string_view key, int32_t defaultValue) {
    std::string text = platform::GetProfileString(files.Ini, kSection, key, "");
    if (text.size() > 2 && (text.starts_with("0x") || text.starts_with("0X"))) {
        text = "$" + text.substr(2);
    }
    return ConvertInteger(text).value_or(defaultValue);
}

std::runtime_error CannotWrite(const std::filesystem::path& file) {
    return std::runtime_error(FillPlaceholders(Texts::CannotWriteFile, {file.string()}));
}

void WriteSetting(const TSettingsFiles& files, std::string_view key, std::string_view value) {
    if (!platform::WriteProfileString(files.Ini, kSection, key, value)) {
        throw CannotWrite(files.Ini);
    }
}

void WriteMotd(const std::vector<std::string>& lines, const std::filesystem::path& file) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (const auto& line : lines) {
        out << line << "\r\n";
    }
    if (!out.flush()) {
        throw CannotWrite(file);
    }
}

}  // namespace

TSettingsFiles TSettingsFiles::ForExecutable(const std::filesystem::path& exe) {
    return {std::filesystem::path(exe).replace_extension(".Ini"), exe.parent_path() / "MOTD.txt"};
}

void LoadSettings(TSettings& settings, const TSettingsFiles& files) {
    const TSettings defaults;
    settings.ServerName =
        platform::GetProfileString(files.Ini, kSection, "ServerName", defaults.ServerName);
    settings.ServerInfo =
        platform::GetProfileString(files.Ini, kSection, "ServerInfo", defaults.ServerInfo);
    settings.Port = ReadInteger(files, "Port", defaults.Port);
    settings.MaxConnection = ReadInteger(files, "MaxConnection", defaults.MaxConnection);
    settings.PingInterval = ReadInteger(files, "PingInterval", defaults.PingInterval);
    settings.MaxChannel = ReadInteger(files, "MaxChannel", defaults.MaxChannel);
    settings.RelayBytesPerSecond =
        ReadInteger(files, "RelayBytesPerSecond", defaults.RelayBytesPerSecond);
    settings.ClientProfile =
        platform::GetProfileString(files.Ini, kSection, "ClientProfile", defaults.ClientProfile);
    settings.TextEncoding =
        platform::GetProfileString(files.Ini, kSection, "TextEncoding", defaults.TextEncoding);
    if (const auto motd = platform::ReadWholeFile(files.Motd)) {
        settings.MotdLines = SplitMotd(*motd);
    } else {
        settings.MotdLines.emplace_back(Texts::MotdDefaultLine1);
        settings.MotdLines.emplace_back(Texts::MotdDefaultLine2);
    }
}

void SaveSettings(const TSettings& settings, const TSettingsFiles& files) {
    WriteSetting(files, "ServerName", settings.ServerName);
    WriteSetting(files, "ServerInfo", settings.ServerInfo);
    WriteSetting(files, "Port", std::to_string(settings.Port));
    WriteSetting(files, "MaxConnection", std::to_string(settings.MaxConnection));
    WriteSetting(files, "PingInterval", std::to_string(settings.PingInterval));
    WriteSetting(files, "MaxChannel", std::to_string(settings.MaxChannel));
    WriteMotd(settings.MotdLines, files.Motd);
}

std::vector<std::string> SplitMotd(std::string_view fileContent) {
    const auto text = fileContent.substr(0, fileContent.find('\0'));
    std::vector<std::string> lines;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            continue;
        }
        lines.emplace_back(text.substr(lineStart, i - lineStart));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        }
        lineStart = i + 1;
    }
    if (lineStart < text.size()) {
        lines.emplace_back(text.substr(lineStart));
    }
    return lines;
}
