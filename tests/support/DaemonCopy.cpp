#include "tests/support/DaemonCopy.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

TDatagramSocket::TDatagramSocket(const std::filesystem::path& path)
    : fd_(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.string().size() >= sizeof address.sun_path)
        throw std::runtime_error("socket path too long: " + path.string());
    std::strcpy(address.sun_path, path.c_str());
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind a datagram socket at " + path.string());
}

TDatagramSocket::~TDatagramSocket() {
    close(fd_);
}

std::optional<std::string> TDatagramSocket::Receive(int timeoutMs) const {
    pollfd readable{fd_, POLLIN, 0};
    if (poll(&readable, 1, timeoutMs) != 1)
        return std::nullopt;
    char message[65536];
    const ssize_t size = recv(fd_, message, sizeof message, 0);
    if (size < 0)
        return std::nullopt;
    return std::string(message, static_cast<std::size_t>(size));
}

TDaemonCopy::TDaemonCopy(uint16_t port, const std::string& subfolder,
                         const std::vector<std::string>& settings)
    : folder_(subfolder.empty() ? temp_.Path() : temp_.Path() / subfolder),
      program_(folder_ / "TavoServerDaemon"),
      notifySocket_(temp_.Path() / "notify") {
    std::filesystem::create_directories(folder_);
    std::filesystem::copy_file(TAVO_DAEMON_PATH, program_);
    if (port == 0)
        return;
    std::ofstream ini(folder_ / "TavoServerDaemon.Ini");
    ini << "[Global]\nPort=" << port << "\n";
    for (const std::string& setting : settings)
        ini << setting << "\n";
}

TChildOptions TDaemonCopy::Options(std::vector<std::string> environment) const {
    environment.push_back("NOTIFY_SOCKET=" + (temp_.Path() / "notify").string());
    return {environment, StandardOutputFile(), StandardErrorFile()};
}

std::unique_ptr<TChildProcess> TDaemonCopy::Start(const std::vector<std::string>& args,
                                                  std::vector<std::string> environment) const {
    return std::make_unique<TChildProcess>(program_, args, Options(std::move(environment)));
}

std::string TDaemonCopy::StandardOutput() const {
    return ReadWholeFile(StandardOutputFile());
}

std::string TDaemonCopy::StandardError() const {
    return ReadWholeFile(StandardErrorFile());
}

std::vector<std::string> TDaemonCopy::WaitForErrorLines(std::size_t count, int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::string> lines = SplitLines(StandardError());
    while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        lines = SplitLines(StandardError());
    }
    return lines;
}
