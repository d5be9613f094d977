// Unit files, systemctl and the notify protocol.
#include "platform/ServiceManager.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace platform {

namespace {

// The unit file; "{Field}" stands for one of the service's values.
constexpr std::string_view kUnitFileTemplate =
    R"(# Written when {DisplayName} was installed as a service.
[Unit]
Description={DisplayName}
After=network.target

[Service]
Type=notify
ExecStart={Executable}
TimeoutStartSec={StartTimeout}
# No Restart=: a start that failed stays failed.
SyslogIdentifier={Name}
# A user of its own that may bind a port below 1024 and do nothing more.
DynamicUser=yes
AmbientCapabilities=CAP_NET_BIND_SERVICE
CapabilityBoundingSet=CAP_NET_BIND_SERVICE
NoNewPrivileges=yes
# The executable's folder, with the files the service reads beside it, stays
# readable wherever it is; the rest of the home folders is hidden.
ProtectHome=tmpfs
BindReadOnlyPaths={ExecutableFolder}
ProtectSystem=strict
PrivateTmp=yes
PrivateDevices=yes
PrivateMounts=yes
ProtectKernelTunables=yes
ProtectKernelModules=yes
ProtectKernelLogs=yes
ProtectControlGroups=yes
ProtectClock=yes
ProtectHostname=yes
ProtectProc=invisible
ProcSubset=pid
RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX
RestrictNamespaces=yes
RestrictRealtime=yes
RestrictSUIDSGID=yes
LockPersonality=yes
MemoryDenyWriteExecute=yes
SystemCallArchitectures=native
SystemCallFilter=@system-service
SystemCallFilter=~@privileged @resources
SystemCallErrorNumber=EPERM
UMask=0077

[Install]
WantedBy=multi-user.target
)";

std::string ErrorText(int error) {
    return std::system_category().message(error);
}

std::string EnvironmentOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// `path` as one word of a unit file setting: quoted when it holds a blank or a single
// quote, with "%" doubled (a specifier otherwise). Characters that the setting would
// read differently in some directive (quotes, escapes, variables, the bind separator)
// or that would end the line are refused.
std::string UnitFileWord(const std::filesystem::path& path) {
    std::string word;
    bool quote = false;
    for (const char c : path.string()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '"' || c == '\\' || c == '$' || c == ':')
            throw std::invalid_argument("a unit file cannot name the path " + path.string());
        quote = quote || c == ' ' || c == '\'';
        word += c == '%' ? std::string("%%") : std::string(1, c);
    }
    return quote ? "\"" + word + "\"" : word;
}

// Runs the manager's command program with `arguments` and waits for it. Throws with
// the command and why it failed.
void RunSystemctl(std::initializer_list<std::string> arguments) {
    std::vector<std::string> words{EnvironmentOr("TAVO_SYSTEMCTL", "systemctl")};
    words.insert(words.end(), arguments);
    std::string command;
    std::vector<char*> argv;
    for (std::string& word : words) {
        command += (command.empty() ? "" : " ") + word;
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (const int error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ))
        throw std::runtime_error(command + " could not run: " + ErrorText(error));
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return;
    throw std::runtime_error(
        command + (WIFEXITED(status) ? " exited with status " + std::to_string(WEXITSTATUS(status))
                                     : " was ended by signal " + std::to_string(WTERMSIG(status))));
}

[[noreturn]] void ThrowFileError(const std::filesystem::path& path, int error) {
    throw std::runtime_error(path.string() + ": " + ErrorText(error));
}

// Replaces the file at `path` with `text` in one step, readable by everyone.
void ReplaceFile(const std::filesystem::path& path, const std::string& text) {
    const std::filesystem::path temporary = path.string() + ".new";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        ThrowFileError(temporary, errno);
    std::string_view rest = text;
    int error = fchmod(fd, 0644) == 0 ? 0 : errno;
    while (error == 0 && !rest.empty()) {
        const ssize_t written = write(fd, rest.data(), rest.size());
        if (written < 0 && errno != EINTR)
            error = errno;
        else if (written > 0)
            rest.remove_prefix(static_cast<std::size_t>(written));
    }
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        unlink(temporary.c_str());
        ThrowFileError(path, error);
    }
}

void RemoveFile(const std::filesystem::path& path) {
    if (unlink(path.c_str()) != 0)
        ThrowFileError(path, errno);
}

std::string UnitName(std::string_view serviceName) {
    return std::string(serviceName) + ".service";
}

}  // namespace

std::string UnitFileText(const TServiceDefinition& service) {
    const std::map<std::string_view, std::string> values{
        {"DisplayName", service.DisplayName},
        {"Executable", UnitFileWord(service.Executable)},
        {"ExecutableFolder", UnitFileWord(service.Executable.parent_path())},
        {"StartTimeout", std::to_string(service.StartTimeoutSeconds)},
        {"Name", service.Name},
    };
    std::string text;
    std::string_view rest = kUnitFileTemplate;
    for (std::size_t open = rest.find('{'); open != std::string_view::npos; open = rest.find('{')) {
        const std::size_t close = rest.find('}', open);
        text.append(rest.substr(0, open))
            .append(values.at(rest.substr(open + 1, close - open - 1)));
        rest.remove_prefix(close + 1);
    }
    return text.append(rest);
}

std::filesystem::path UnitFilePath(std::string_view serviceName) {
    return std::filesystem::path(EnvironmentOr("TAVO_UNIT_DIR", "/etc/systemd/system")) /
           UnitName(serviceName);
}

void InstallService(const TServiceDefinition& service) {
    ReplaceFile(UnitFilePath(service.Name), UnitFileText(service));
    RunSystemctl({"daemon-reload"});
    RunSystemctl({"enable", UnitName(service.Name)});
}

void UninstallService(std::string_view serviceName) {
    const std::string unit = UnitName(serviceName);
    std::optional<std::string> firstError;
    const auto attempt = [&](const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& error) {
            if (!firstError)
                firstError = error.what();
        }
    };
    attempt([&] { RunSystemctl({"stop", unit}); });
    attempt([&] { RunSystemctl({"disable", unit}); });
    attempt([&] { RemoveFile(UnitFilePath(serviceName)); });
    attempt([&] { RunSystemctl({"daemon-reload"}); });
    if (firstError)
        throw std::runtime_error(*firstError);
}

void NotifyServiceReady(std::string_view status) {
    sd_notify(0, ("READY=1\nSTATUS=" + std::string(status)).c_str());
}

void NotifyServiceStopping() {
    sd_notify(0, "STOPPING=1");
}

}  // namespace platform
