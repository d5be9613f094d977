// The service host's start, stop, pause and continue, and its services to the connections.
#include "daemon/MainDaemon.h"

#include <stdexcept>
#include <string>
#include <system_error>

#include "JapaneseTexts.h"
#include "ServiceNotices.h"
#include "core/ClientThread.h"
#include "daemon/ServiceTexts.h"
#include "platform/EventLog.h"
#include "platform/ListenErrorText.h"
#include "platform/TextEncoding.h"

namespace {

uint16_t ListenerPort(int32_t port) {
    if (port < 0 || port > 65535)
        throw std::runtime_error("Invalid port number");
    return static_cast<uint16_t>(port);
}

// Why the start failed, code page 932: a socket error of the listener in the words
// an operator reads (Japanese, then the system's text), any other error as it is.
std::string StartErrorText(const std::exception& error, uint16_t port) {
    const auto* socketError = dynamic_cast<const std::system_error*>(&error);
    if (socketError == nullptr || socketError->code().category() != std::system_category())
        return error.what();
    return platform::Utf8ToCp932(platform::ListenErrorText(socketError->code().value(), port))
        .value_or(error.what());
}

}  // namespace

platform::TServiceDefinition TService1::Definition(const std::filesystem::path& programPath) {
    return {std::string(kServiceName), std::string(kDisplayName), programPath, kWaitHintSeconds};
}

TService1::TService1(platform::TMainThreadQueue& mainThread, std::filesystem::path programPath)
    : mainThread_(mainThread),
      programPath_(std::move(programPath)),
      serverSocket_(
          kThreadCacheSize, [this] { return ServerSocketGetThread(); },
          [this](const std::string& text) { ShowError(text); }) {}

TService1::~TService1() {
    ServiceStop();
}

bool TService1::ServiceStart() {
    uint16_t port = 0;
    try {
        TSettings settings;
        LoadSettings(settings, TSettingsFiles::ForExecutable(programPath_));
        core_ = std::make_unique<TServerCore>(settings, *this, programPath_);
        port = ListenerPort(core_->Settings.Port);
        serverSocket_.Activate(port);
    } catch (const std::exception& error) {
        core_.reset();
        platform::WriteEventLog(
            platform::EventSeverity::Error,
            FillArguments(Texts::ServiceFailure,
                          {Texts::ServiceStartWord, StartErrorText(error, port)}));
        return false;
    }
    platform::WriteEventLog(
        platform::EventSeverity::Notice,
        FillArguments(Texts::ServiceStarted, {std::to_string(Port()), core_->Settings.ServerName}));
    return true;
}

void TService1::ServiceStop() {
    if (!serverSocket_.Active()) {
        core_.reset();
        return;
    }
    const int connections = serverSocket_.ActiveConnections();
    serverSocket_.Deactivate();
    core_.reset();
    platform::WriteEventLog(platform::EventSeverity::Notice,
                            FillArguments(Texts::ServiceStopped, {std::to_string(connections)}));
}

void TService1::ServicePause() {
    platform::WriteEventLog(platform::EventSeverity::Notice, Texts::ServicePaused);
}

void TService1::ServiceContinue() {
    platform::WriteEventLog(platform::EventSeverity::Notice, Texts::ServiceContinued);
}

uint16_t TService1::Port() const {
    return serverSocket_.LocalPort();
}

void TService1::RunInMainThread(const std::function<void()>& step) {
    mainThread_.Invoke(step);
}

void TService1::ShowError(std::string_view text) {
    platform::WriteEventLog(platform::EventSeverity::Error, text);
}

std::unique_ptr<listener::TServerClientThread> TService1::ServerSocketGetThread() {
    return std::make_unique<TClientThread>(*core_);
}
