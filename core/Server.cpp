#include "core/Server.h"

#include <mutex>
#include <system_error>
#include <vector>

#include "JapaneseTexts.h"
#include "core/ClientThread.h"
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
    try {
        core_ = std::make_unique<TServerCore>(settings, host_, programPath_, timings_);
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
        const std::string_view text = Texts::ShutDownNotice;  // "%s" stands for the server
        const std::size_t at = text.find("%s");
        TellEveryUser(std::string(text.substr(0, at)) + core_->Settings.ServerName +
                      std::string(text.substr(at + 2)));
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
