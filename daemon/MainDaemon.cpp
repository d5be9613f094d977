// The service host's start, stop, pause and continue, and its services to the connections.
#include "daemon/MainDaemon.h"

#include <stdexcept>

#include "JapaneseTexts.h"
#include "core/ClientThread.h"
#include "daemon/ServiceTexts.h"
#include "platform/EventLog.h"

namespace {

uint16_t ListenerPort(int32_t port) {
    if (port < 0 || port > 65535)
        throw std::runtime_error("Invalid port number");
    return static_cast<uint16_t>(port);
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
    try {
        TSettings settings;
        LoadSettings(settings, TSettingsFiles::ForExecutable(programPath_));
        core_ = std::make_unique<TServerCore>(settings, *this, programPath_);
        serverSocket_.Activate(ListenerPort(core_->Settings.Port));
        return true;
    } catch (const std::exception& error) {
        core_.reset();
        platform::WriteEventLog(
            platform::EventSeverity::Error,
            FillArguments(Texts::ServiceFailure, {Texts::ServiceStartWord, error.what()}));
        return false;
    }
}

void TService1::ServiceStop() {
    serverSocket_.Deactivate();
    core_.reset();
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
