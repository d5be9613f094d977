#include "tests/support/TestServer.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "core/ClientThread.h"

TTestServer::TTestServer(TSettings settings, TConnectionTimings timings, int threadCacheSize)
    : server_(*this, TAVO_DAEMON_PATH, threadCacheSize, timings) {
    settings.Port = 0;  // a free port of the system's choice
    if (const auto failure = server_.Start(settings))
        throw std::runtime_error(*failure);
}

TTestServer::~TTestServer() {
    server_.Stop(false);
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
