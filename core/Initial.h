// The server's settings and message of the day: the values, where a program keeps
// them, and reading and writing them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

struct TSettings {
    std::string ServerName{"TavoServer"};
    std::string ServerInfo{"Simple IRC Server for Win32"};
    int32_t Port = 6667, MaxConnection = 10, PingInterval = 120, MaxChannel = 5;
    std::vector<std::string> MotdLines;  // the message of the day, no line ends
    // Bytes per second of relayed lines that one connection may cause (see
    // TRelayBudget); 0 or less: no limit. Read from the ini file, never written: only
    // an administrator who knows why sets it (a benchmark, a trusted bot).
    int32_t RelayBytesPerSecond = 32 * 1024;
    // How the server speaks to clients (see Dialect.h), as written in the ini file; the
    // server refuses to start with a value it does not know. Read, never written.
    std::string ClientProfile{"Exact"};
    std::string TextEncoding{"Shift_JIS"};
};

// Where a program's settings live: the ini file named after the executable and
// "MOTD.txt" in the executable's folder.
struct TSettingsFiles {
    std::filesystem::path Ini, Motd;

    // exe with its extension replaced by ".Ini" (".Ini" appended when it has none), and
    // MOTD.txt beside it: TavoServerDaemon -> TavoServerDaemon.Ini.
    static TSettingsFiles ForExecutable(const std::filesystem::path& exe);
};

// Reads the six settings, RelayBytesPerSecond, ClientProfile and TextEncoding from section
// "Global" of the ini file (a missing key or a number that does not convert gives the default)
// and the message of the day: the lines of MOTD.txt when it exists, else the two built-in lines
// appended.
void LoadSettings(TSettings& settings, const TSettingsFiles& files);

// Writes the six settings (numbers in decimal) into section "Global", then MOTD.txt
// with every line followed by CR LF. Throws std::runtime_error with the text
// Texts::CannotWriteFile naming the file that cannot be written; nothing after that
// value is written.
void SaveSettings(const TSettings& settings, const TSettingsFiles& files);

// The lines of a message-of-the-day file: a line ends at CR, LF or CR LF, a zero byte
// ends the text, an empty text has no lines.
std::vector<std::string> SplitMotd(std::string_view fileContent);
