// The service host's start, stop, pause and continue, and its services to the connections.
#include "daemon/MainDaemon.h"

#include <optional>
#include <string>

#include "JapaneseTexts.h"
#include "ServiceNotices.h"
#include "daemon/ServiceTexts.h"
#include "platform/EventLog.h"
#include "platform/TextEncoding.h"

platform::TServiceDefinition TService1::Definition(const std::filesystem::path& programPath) {
    return {std::string(kServiceName), std::string(kDisplayName), programPath, kWaitHintSeconds};
}

TService1::TService1(std::filesystem::path programPath)
    : programPath_(std::move(programPath)), server_(*this, programPath_, kThreadCacheSize) {}

TService1::~TService1() {
    ServiceStop();
}

bool TService1::ServiceStart() {
    std::optional<std::string> failure;
    TSettings settings;
    try {
        LoadSettings(settings, TSettingsFiles::ForExecutable(programPath_));
        failure = server_.Start(settings);
    } catch (const std::exception& error) {
        failure = platform::Cp932ToUtf8(error.what());
    }
    if (failure) {
        const std::string reason = platform::Utf8ToCp932(*failure).value_or(*failure);
        platform::WriteEventLog(
            platform::EventSeverity::Error,
            FillArguments(Texts::ServiceFailure, {Texts::ServiceStartWord, reason}));
        return false;
    }
    platform::WriteEventLog(
        platform::EventSeverity::Notice,
        FillArguments(Texts::ServiceStarted, {std::to_string(Port()), settings.ServerName}));
    return true;
}

void TService1::ServiceStop() {
    if (!server_.Running())
        return;
    const int connections = server_.Stop(false);
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
    return server_.Port();
}

void TService1::ShowError(std::string_view text) {
    platform::WriteEventLog(platform::EventSeverity::Error, text);
}
