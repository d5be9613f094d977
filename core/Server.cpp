#include "core/Server.h"

#include <mutex>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "JapaneseTexts.h"
#include "core/ClientThread.h"
#include "core/TextUtil.h"
#include "platform/ListenErrorText.h"
#include "platform/TextEncoding.h"

namespace {

// Why the listener could not start, for the operator: a socket error in Japanese with
// the system's text after it, any other error as it came.
std::string StartFailureText(const std::exception& error, uint16_t port) {
    const auto* socketError = dynamic_cast<const std::system_error*>(&error);
    if (socketError != nullptr && socketError->code().category() == std::system_category())
        return platform::ListenErrorText(socketError->code().value(), port);
    return platform::Cp932ToUtf8(error.what());
}

// One text of the settings as it goes on the wire: in UTF-8, converted from code page
// 932; nothing when it holds bytes that are no code page 932 text.
std::optional<std::string> OnTheWire(const TDialect& dialect, const std::string& text) {
    if (dialect.Encoding == TTextEncoding::ShiftJis)
        return text;
    return platform::Cp932ToUtf8Exactly(text);
}

// The settings with the texts the server sends in the dialect's encoding, or why they
// cannot be sent (naming the file with the line or the key).
std::variant<TSettings, std::string> WireSettings(const TSettings& settings,
                                                  const TDialect& dialect,
                                                  const TSettingsFiles& files) {
    TSettings wire = settings;
    const std::string ini = files.Ini.filename().string();
    for (auto [key, field] : {std::pair{"ServerName", &TSettings::ServerName},
                              std::pair{"ServerInfo", &TSettings::ServerInfo}}) {
        const auto text = OnTheWire(dialect, settings.*field);
        if (!text)
            return FillPlaceholders(JapaneseTexts::Utf8.UnconvertibleSetting, {ini, key});
        wire.*field = *text;
    }
    for (std::size_t i = 0; i < settings.MotdLines.size(); ++i) {
        const auto text = OnTheWire(dialect, settings.MotdLines[i]);
        if (!text) {
            return FillPlaceholders(JapaneseTexts::Utf8.UnconvertibleLine,
                                    {files.Motd.filename().string(), std::to_string(i + 1)});
        }
        wire.MotdLines[i] = *text;
    }
    return wire;
}

}  // namespace

TServer::TServer(IServerHost& host, std::filesystem::path programPath, int threadCacheSize,
                 TConnectionTimings timings, listener::TServerSocket::ThreadWaiter waitForThread)
    : host_(host),
      programPath_(std::move(programPath)),
      timings_(timings),
      listener_(
          threadCacheSize, [this] { return std::make_unique<TClientThread>(*core_); },
          [this](const std::string& text) { host_.ShowError(text); }, std::move(waitForThread)) {}

TServer::~TServer() {
    Stop(false);
}

std::optional<std::string> TServer::Start(const TSettings& settings) {
    if (Running())
        return std::nullopt;
    if (settings.Port < 0 || settings.Port > 65535)
        return platform::PortOutOfRangeText(settings.Port);
    const auto port = static_cast<uint16_t>(settings.Port);
    const auto dialect = DialectOf(settings.ClientProfile, settings.TextEncoding);
    if (const auto* refusal = std::get_if<std::string>(&dialect))
        return *refusal;
    const auto wire = WireSettings(settings, std::get<TDialect>(dialect),
                                   TSettingsFiles::ForExecutable(programPath_));
    if (const auto* refusal = std::get_if<std::string>(&wire))
        return *refusal;
    try {
        core_ = std::make_unique<TServerCore>(std::get<TSettings>(wire), host_, programPath_,
                                              timings_, std::get<TDialect>(dialect));
        listener_.Activate(port);
    } catch (const std::exception& error) {
        core_.reset();
        return StartFailureText(error, port);
    }
    return std::nullopt;
}

int TServer::Stop(bool tellUsers) {
    if (!Running()) {
        core_.reset();
        return 0;
    }
    if (tellUsers) {
        TellEveryUser(
            FillPlaceholders(core_->Dialect.Texts().ShutDownNotice, {core_->Settings.ServerName}));
    }
    const int connections = listener_.ActiveConnections();
    listener_.Deactivate();
    core_.reset();
    return connections;
}

void TServer::TellEveryUser(std::string_view text) {
    // The connections are copied under the registry's lock and told after it is
    // released, so that the lock is not held while a connection might wait for the
    // calling thread. The copies stay valid: a connection ends only after the host's
    // NotifyLogout, which a desktop host runs in this very thread, busy here.
    std::vector<TConnection*> connections;
    {
        std::lock_guard lock(core_->Registry.Lock);
        const auto& users = core_->Registry.Users;
        for (int i = users.Count() - 1; i >= 0; --i) {
            if (TConnection* connection = users.At(i)->Connection)
                connections.push_back(connection);
        }
    }
    for (TConnection* connection : connections)
        connection->SendClosingError(text);
}
