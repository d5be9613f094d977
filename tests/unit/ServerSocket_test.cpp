// The listener on its own: thread cache reuse, the two counts, deactivation that
// ends every connection, and a port that cannot be bound.
#include "listener/ServerSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/MainThreadQueue.h"
#include "tests/support/TestClient.h"

namespace {

// Answers every connection with one line naming the serving thread object, then
// waits for the peer to close (or the listener to end it).
class TIdentifyingThread : public listener::TServerClientThread {
  public:
    explicit TIdentifyingThread(std::atomic<int>& served) : served_(served) {}

  protected:
    void ClientExecute() override {
        auto& socket = *ClientSocket();
        const std::string line = std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "\r\n";
        std::size_t written = 0;
        socket.WriteSome(line.data(), line.size(), written);
        char buffer[64];
        while (socket.Connected() && !Terminated()) {
            if (!socket.Wait(1000, false).Readable)
                continue;
            std::size_t read = 0;
            const auto result = socket.ReadSome(buffer, sizeof buffer, read);
            if (result == listener::TClientSocket::ReadResult::EndOfStream ||
                result == listener::TClientSocket::ReadResult::Error) {
                break;
            }
        }
        ++served_;
    }

  private:
    std::atomic<int>& served_;
};

struct ListenerFixture : ::testing::Test {
    std::atomic<int> served{0};
    std::vector<std::string> errors;
    listener::TServerSocket serverSocket{
        2, [this] { return std::make_unique<TIdentifyingThread>(served); },
        [this](const std::string& text) { errors.push_back(text); }};

    bool WaitFor(const std::function<bool()>& condition) {
        for (int i = 0; i < 500 && !condition(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    }
};

TEST_F(ListenerFixture, CachedThreadsAreReusedInOrderAndLaterOnesEnd) {
    serverSocket.Activate(0);
    std::vector<std::string> firstRound;
    {
        TTestClient a(serverSocket.LocalPort(), "127.0.0.2");
        TTestClient b(serverSocket.LocalPort(), "127.0.0.3");
        TTestClient c(serverSocket.LocalPort(), "127.0.0.4");
        for (auto* client : {&a, &b, &c})
            firstRound.push_back(client->ReadLine().value_or(""));
        EXPECT_EQ(serverSocket.ActiveThreads(), 3);
        EXPECT_EQ(serverSocket.ActiveConnections(), 3);
    }
    ASSERT_TRUE(WaitFor([&] { return served == 3; }));
    ASSERT_TRUE(WaitFor([&] { return serverSocket.ActiveConnections() == 0; }));
    EXPECT_EQ(serverSocket.ActiveThreads(), 0);
    EXPECT_EQ(std::set<std::string>(firstRound.begin(), firstRound.end()).size(), 3u);

    // The two cached threads serve the next connections, in the order of the list.
    TTestClient d(serverSocket.LocalPort(), "127.0.0.2");
    EXPECT_EQ(d.ReadLine(), firstRound[0]);
    TTestClient e(serverSocket.LocalPort(), "127.0.0.3");
    EXPECT_EQ(e.ReadLine(), firstRound[1]);
    TTestClient f(serverSocket.LocalPort(), "127.0.0.4");
    const auto third = f.ReadLine();
    ASSERT_TRUE(third);
    EXPECT_NE(*third, firstRound[0]);
    EXPECT_NE(*third, firstRound[1]);
}

TEST_F(ListenerFixture, DeactivationClosesEveryConnectionAndJoinsEveryThread) {
    serverSocket.Activate(0);
    TTestClient a(serverSocket.LocalPort(), "127.0.0.2");
    TTestClient b(serverSocket.LocalPort(), "127.0.0.3");
    TTestClient c(serverSocket.LocalPort(), "127.0.0.4");
    for (auto* client : {&a, &b, &c})
        ASSERT_TRUE(client->ReadLine());
    serverSocket.Deactivate();
    EXPECT_EQ(served, 3) << "Deactivate returned before every thread had ended";
    for (auto* client : {&a, &b, &c})
        EXPECT_TRUE(client->WaitClosed(1000));
    EXPECT_FALSE(serverSocket.Active());
    EXPECT_TRUE(errors.empty());

    // The listener can be activated again, and binds at once.
    serverSocket.Activate(0);
    TTestClient again(serverSocket.LocalPort(), "127.0.0.2");
    EXPECT_TRUE(again.ReadLine());
}

TEST_F(ListenerFixture, PortInUseFailsActivationWithTheSocketErrorText) {
    serverSocket.Activate(0);
    listener::TServerSocket second(
        1, [this] { return std::make_unique<TIdentifyingThread>(served); },
        [](const std::string&) {});
    try {
        second.Activate(serverSocket.LocalPort());
        FAIL() << "a port in use was bound";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Address already in use");
    }
    EXPECT_FALSE(second.Active());
}

// Asks the main thread for a step when its connection ends, as the desktop host's
// connections do to show their logout.
class TNotifyingThread : public listener::TServerClientThread {
  public:
    TNotifyingThread(platform::TMainThreadQueue& mainThread, std::atomic<int>& notified)
        : mainThread_(mainThread), notified_(notified) {}

  protected:
    void ClientExecute() override {
        auto& socket = *ClientSocket();
        std::size_t written = 0;
        socket.WriteSome("hello\r\n", 7, written);
        while (socket.Connected() && !Terminated())
            socket.Wait(1000, false);
        mainThread_.Invoke([this] { ++notified_; });
    }

  private:
    platform::TMainThreadQueue& mainThread_;
    std::atomic<int>& notified_;
};

TEST(ServerSocketInMainThread, DeactivationServesTheConnectionsMainThreadSteps) {
    platform::TMainThreadQueue mainThread;
    std::atomic<int> notified{0};
    listener::TServerSocket serverSocket(
        2, [&] { return std::make_unique<TNotifyingThread>(mainThread, notified); },
        [](const std::string&) {},
        [&](const std::function<bool()>& finished) { mainThread.ServeUntil(finished); });
    serverSocket.Activate(0);
    TTestClient a(serverSocket.LocalPort(), "127.0.0.2");
    TTestClient b(serverSocket.LocalPort(), "127.0.0.3");
    ASSERT_TRUE(a.ReadLine());
    ASSERT_TRUE(b.ReadLine());
    serverSocket.Deactivate();  // in the main thread, which the ending connections wait for
    EXPECT_EQ(notified, 2);
}

}  // namespace
