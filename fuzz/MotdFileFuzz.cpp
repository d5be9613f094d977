// Fuzz target of the message-of-the-day reader: a file of any content splits into
// the lines of its text (up to the first zero byte) at CR, LF and CR LF, the settings
// loaded from it hold those lines, and saving and loading the settings again gives
// the same settings back.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/Initial.h"
#include "fuzz/FuzzTargets.h"
#include "fuzz/ScratchFiles.h"

namespace fuzz {

namespace {

// The lines the text must give: every line end made one LF, then cut there; a last
// line end ends the last line and starts none.
std::vector<std::string> ExpectedLines(std::string_view content) {
    const std::string_view text = content.substr(0, content.find('\0'));
    std::string unified;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool crLf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        unified += text[i] == '\r' ? '\n' : text[i];
        i += crLf ? 1 : 0;
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto end = unified.find('\n'); end != std::string::npos; end = unified.find('\n', start)) {
        lines.push_back(unified.substr(start, end - start));
        start = end + 1;
    }
    if (start < unified.size())
        lines.push_back(unified.substr(start));
    return lines;
}

bool SameSettings(const TSettings& a, const TSettings& b) {
    return a.ServerName == b.ServerName && a.ServerInfo == b.ServerInfo && a.Port == b.Port &&
           a.MaxConnection == b.MaxConnection && a.PingInterval == b.PingInterval &&
           a.MaxChannel == b.MaxChannel && a.MotdLines == b.MotdLines;
}

}  // namespace

void FuzzMotdFile(std::string_view input) {
    const TSettingsFiles files{ScratchFolder() / "motd.ini", ScratchFolder() / "MOTD.txt"};
    std::filesystem::remove(files.Ini);
    WriteScratchFile(files.Motd, input);

    const std::vector<std::string> lines = SplitMotd(input);
    Require(lines == ExpectedLines(input), "the lines differ from the text cut at its line ends");

    TSettings loaded;
    LoadSettings(loaded, files);
    Require(loaded.MotdLines == lines, "the loaded message of the day differs from its file");

    SaveSettings(loaded, files);
    TSettings reloaded;
    LoadSettings(reloaded, files);
    Require(SameSettings(reloaded, loaded), "settings saved and loaded again differ");
}

}  // namespace fuzz
