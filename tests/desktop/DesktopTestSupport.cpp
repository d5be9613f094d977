#include "tests/desktop/DesktopTestSupport.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/TextEncoding.h"

TDesktopSetup::TDesktopSetup() = default;

TMainFormOptions TDesktopSetup::Options(const QStringList& switches) {
    TMainFormOptions options;
    options.ProgramPath = TAVO_DESKTOP_PATH;
    options.Files = Files();
    options.HelpFile = Folder() / "TavoServer.hlp";
    options.Arguments = QStringList{QStringLiteral("TavoServer")} + switches;
    options.ShowMessage = [messages = Messages](const QString& text) { messages->append(text); };
    options.TrayAvailable = [this] { return TrayAvailable; };
    return options;
}

void TDesktopSetup::WriteIni(const std::vector<std::string>& lines) const {
    std::string text = "[Global]\r\n";
    for (const auto& line : lines)
        text += line + "\r\n";
    WriteFileBytes(Files().Ini, text);
}

std::vector<std::string> LinesUntil(TTestClient& client, std::string_view needle) {
    std::vector<std::string> lines;
    while (const auto line = client.ReadLine()) {
        lines.push_back(*line);
        if (line->find(needle) != std::string::npos)
            return lines;
    }
    return {};
}

bool RegisterClient(TTestClient& client, std::string_view nick) {
    client.Send("NICK " + std::string(nick));
    client.Send("USER user host server :Real Name");
    return !LinesUntil(client, " 376 ").empty();
}

std::string ReadFileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string Cp932(std::string_view utf8) {
    const auto bytes = platform::Utf8ToCp932(utf8);
    if (!bytes)
        throw std::invalid_argument("not code page 932 text");
    return *bytes;
}

QString Caption(const TMainForm& form) {
    return form.windowTitle();
}

QString StatusText(const TMainForm& form) {
    return form.Ui().StatusBar1->currentMessage();
}

QString RunningCaption(int users) {
    return QStringLiteral("TavoServer  運転中・・・ ( %1 Users )").arg(users);
}

QString StoppedCaption() {
    return QStringLiteral("TavoServer  停止中・・・");
}
