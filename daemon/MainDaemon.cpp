#include "daemon/MainDaemon.h"

#include <stdexcept>

#include "JapaneseTexts.h"
#include "core/ClientThread.h"
#include "platform/EventLog.h"

namespace {

// "サービス失敗 %0:s: %1:s" with its two arguments.
std::string ServiceFailureText(std::string_view what, std::string_view error) {
    std::string text(Texts::ServiceFailure);
    text.replace(text.find("%0:s"), 4, what);
    text.replace(text.find("%1:s"), 4, error);
    return text;
}

uint16_t ListenerPort(int32_t port) {
    if (port < 0 || port > 65535)
        throw std::runtime_error("Invalid port number");
    return static_cast<uint16_t>(port);
}

}  // namespace

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
        platform::WriteEventLog(platform::EventSeverity::Error,
                                ServiceFailureText(Texts::ServiceStartWord, error.what()));
        return false;
    }
}

void TService1::ServiceStop() {
    serverSocket_.Deactivate();
    core_.reset();
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
