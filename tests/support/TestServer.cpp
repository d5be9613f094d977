#include "tests/support/TestServer.h"

#include <chrono>
#include <thread>

#include "core/ClientThread.h"

TTestServer::TTestServer(TSettings settings, TConnectionTimings timings, int threadCacheSize)
    : core_(std::make_unique<TServerCore>(settings, *this, TAVO_DAEMON_PATH, timings)),
      serverSocket_(
          threadCacheSize, [this] { return std::make_unique<TClientThread>(*core_); },
          [this](const std::string& text) { ShowError(text); }) {
    serverSocket_.Activate(0);
}

TTestServer::~TTestServer() {
    serverSocket_.Deactivate();
}

void TTestServer::ShowError(std::string_view text) {
    std::lock_guard guard(mutex_);
    shownErrors_.emplace_back(text);
}

void TTestServer::NotifyLogout(TClientThread& connection) {
    std::lock_guard guard(mutex_);
    closeReasons_.push_back(connection.CloseReason);
}

std::vector<std::string> TTestServer::ShownErrors() {
    std::lock_guard guard(mutex_);
    return shownErrors_;
}

std::vector<std::string> TTestServer::CloseReasons() {
    std::lock_guard guard(mutex_);
    return closeReasons_;
}

bool TTestServer::WaitForEndedConnections(std::size_t count, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (CloseReasons().size() >= count)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}
