// The listener on its own: thread cache reuse, the counts, joining threads as they
// finish, the per-host bound on unregistered connections, deactivation that ends
// every connection, and a port that cannot be bound.
#include "listener/ServerSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/MainThreadQueue.h"
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

// Answers every connection with its accept number, and every line with the same
// number again; the line "R" first marks the connection registered.
class TCountingThread : public listener::TServerClientThread {
  protected:
    void ClientExecute() override {
        auto& socket = *ClientSocket();
        Answer(socket);
        std::string received;
        char buffer[64];
        while (socket.Connected() && !Terminated()) {
            if (!socket.Wait(1000, false).Readable)
                continue;
            std::size_t read = 0;
            if (socket.ReadSome(buffer, sizeof buffer, read) !=
                listener::TClientSocket::ReadResult::Data) {
                break;
            }
            received.append(buffer, read);
            for (std::size_t end; (end = received.find("\r\n")) != std::string::npos;) {
                if (received.compare(0, end, "R") == 0)
                    socket.MarkRegistered();
                received.erase(0, end + 2);
                Answer(socket);
            }
        }
    }

  private:
    void Answer(listener::TClientSocket& socket) {
        const std::string line = std::to_string(socket.AcceptNumber()) + "\r\n";
        std::size_t written = 0;
        socket.WriteSome(line.data(), line.size(), written);
    }
};

// The threads of this process, from the kernel's view.
int ProcessThreads() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "Threads:") {
            int threads = 0;
            status >> threads;
            return threads;
        }
    }
    return -1;
}

bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 500 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

struct ListenerFixture : ::testing::Test {
    std::atomic<int> served{0};
    std::vector<std::string> errors;
    listener::TServerSocket serverSocket{
        2, [this] { return std::make_unique<TIdentifyingThread>(served); },
        [this](const std::string& text) { errors.push_back(text); }};
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

TEST_F(ListenerFixture, ThreadsThatLeaveAreJoinedWithoutWaitingForTheNextConnection) {
    // A first thread makes a sanitizer runtime start the helper threads it keeps.
    std::thread([] {}).join();
    const int threadsBefore = ProcessThreads();
    serverSocket.Activate(0);
    {
        std::vector<std::unique_ptr<TTestClient>> clients;
        for (int i = 0; i < 6; ++i) {
            clients.push_back(std::make_unique<TTestClient>(serverSocket.LocalPort(),
                                                            "127.0.0." + std::to_string(2 + i)));
            ASSERT_TRUE(clients.back()->ReadLine());
        }
        EXPECT_EQ(serverSocket.ExistingThreads(), 6);
        // The host-name lookups' own threads end a moment after their connections start.
        EXPECT_TRUE(WaitFor([&] { return ProcessThreads() == threadsBefore + 1 + 6; }))
            << ProcessThreads() << " threads: the accept thread and six were expected";
    }
    // No new connection comes: the four threads beyond the cache are joined as they
    // leave, and only the two cached ones stay.
    ASSERT_TRUE(WaitFor([&] { return served == 6; }));
    EXPECT_TRUE(WaitFor([&] { return serverSocket.ExistingThreads() == 2; }));
    EXPECT_TRUE(WaitFor([&] { return ProcessThreads() == threadsBefore + 1 + 2; }))
        << ProcessThreads() << " threads, " << threadsBefore << " before activation";
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
    TNotifyingThread(TMainThreadQueue& mainThread, std::atomic<int>& notified)
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
    TMainThreadQueue& mainThread_;
    std::atomic<int>& notified_;
};

TEST(ServerSocketInMainThread, DeactivationServesTheConnectionsMainThreadSteps) {
    TMainThreadQueue mainThread;
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

struct CountingListener : ::testing::Test {
    std::vector<std::string> errors;
    listener::TServerSocket serverSocket{
        2, [] { return std::make_unique<TCountingThread>(); },
        [this](const std::string& text) { errors.push_back(text); }};

    CountingListener() { serverSocket.Activate(0); }
    std::unique_ptr<TTestClient> Connect(const std::string& address) {
        return std::make_unique<TTestClient>(serverSocket.LocalPort(), address);
    }
};

TEST_F(CountingListener, AHostWithTooManyUnregisteredConnectionsIsRefusedAtOnceWithoutAThread) {
    constexpr int kBound = listener::TServerSocket::kMaxUnregisteredPerHost;
    std::vector<std::unique_ptr<TTestClient>> held;
    for (int i = 0; i < kBound; ++i) {
        held.push_back(Connect("127.0.0.2"));
        ASSERT_TRUE(held.back()->ReadLine());
    }
    const int threadsWithin = ProcessThreads();
    for (int i = 0; i < 100; ++i) {
        auto refused = Connect("127.0.0.2");
        ASSERT_TRUE(refused->WaitClosed(2000)) << "connection " << i << " was served";
        EXPECT_FALSE(refused->ReadLine(0));
    }
    EXPECT_EQ(serverSocket.ActiveConnections(), kBound);
    EXPECT_EQ(serverSocket.ExistingThreads(), kBound);
    EXPECT_EQ(ProcessThreads(), threadsWithin);

    auto otherHost = Connect("127.0.0.3");
    EXPECT_TRUE(otherHost->ReadLine()) << "other hosts are served as before";

    // A registered connection no longer counts against its host.
    held.front()->Send("R");
    ASSERT_TRUE(held.front()->ReadLine());
    auto afterRegistering = Connect("127.0.0.2");
    EXPECT_TRUE(afterRegistering->ReadLine());
    auto beyondAgain = Connect("127.0.0.2");
    EXPECT_TRUE(beyondAgain->WaitClosed(2000));

    // Nor does one that has ended.
    held.back().reset();
    ASSERT_TRUE(WaitFor([&] { return serverSocket.ActiveConnections() == kBound + 1; }));
    auto afterEnding = Connect("127.0.0.2");
    EXPECT_TRUE(afterEnding->ReadLine());
    EXPECT_TRUE(errors.empty());
}

TEST(UnregisteredShare, WhenItIsFullTheOldestUnregisteredConnectionMakesRoom) {
    constexpr int kShare = 4;
    listener::TServerSocket serverSocket{2,
                                         [] { return std::make_unique<TCountingThread>(); },
                                         [](const std::string&) {},
                                         {},
                                         kShare};
    serverSocket.Activate(0);
    auto connect = [&](int host) {
        auto client = std::make_unique<TTestClient>(serverSocket.LocalPort(),
                                                    "127.0.0." + std::to_string(host));
        EXPECT_TRUE(client->ReadLine()) << "host " << host << " was not served";
        return client;
    };
    auto registered = connect(2);
    registered->Send("R");
    ASSERT_TRUE(registered->ReadLine());
    std::vector<std::unique_ptr<TTestClient>> idle;
    for (int host = 3; host < 3 + kShare; ++host)
        idle.push_back(connect(host));

    auto newcomer = connect(10);
    EXPECT_TRUE(idle.front()->WaitClosed(2000)) << "the oldest idle connection made room";
    for (std::size_t i = 1; i < idle.size(); ++i) {
        idle[i]->Send("?");
        EXPECT_TRUE(idle[i]->ReadLine()) << "a younger idle connection was closed";
    }
    registered->Send("?");
    EXPECT_TRUE(registered->ReadLine()) << "a registered connection takes no unregistered place";
}

}  // namespace
