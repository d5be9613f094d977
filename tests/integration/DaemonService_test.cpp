// The service program running as a service: a copy of the built binary tells the
// service manager (a notify socket of the test's own) that it is ready once its port
// accepts and that it stops on SIGTERM, with a notice at its start and its stop; a
// start on a port in use leaves an error entry and no readiness; pause and continue
// (SIGUSR1, SIGUSR2) only write notices and change the status; entries reach the
// journal, and a standard error that nobody reads holds nothing up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/DaemonCopy.h"
#include "tests/support/TestClient.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kPausedEntry =
    "<5>Service1: サービスを一時停止しました。接続と待ち受けはそのまま続きます。";
const std::string kContinuedEntry = "<5>Service1: サービスを再開しました。";

std::string StartedEntry(uint16_t port) {
    return "<5>Service1: サービスを開始しました。サーバー TavoServer がポート " +
           std::to_string(port) + " で接続を受け付けています。";
}

std::string StoppedEntry(int connections) {
    return "<5>Service1: サービスを停止しました。接続 " + std::to_string(connections) +
           " 件を終了しました。";
}

std::unique_ptr<TTestClient> Client(uint16_t port, const std::string& address) {
    auto client = std::make_unique<TTestClient>(port, address);
    const int on = 1;
    setsockopt(client->Fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return client;
}

// A registered client that has joined #talk.
std::unique_ptr<TTestClient> Talker(uint16_t port, const std::string& address,
                                    const std::string& nick) {
    auto client = Client(port, address);
    client->Register(nick);
    client->Send("JOIN #talk");
    client->ReadUntil(" 366 ");
    return client;
}

void ExpectHeard(TTestClient& from, TTestClient& to, const std::string& text) {
    from.Send("PRIVMSG #talk :" + text);
    const auto lines = to.ReadUntil(text);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("PRIVMSG #talk :" + text + "\r\n"), std::string::npos);
}

// A listening socket on all addresses, so that the service cannot bind `port`.
struct TPortTaken {
    int Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    explicit TPortTaken(uint16_t port) {
        const int on = 1;
        setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        if (bind(Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(Fd, 1) != 0)
            throw std::runtime_error("cannot take port " + std::to_string(port));
    }
    ~TPortTaken() { close(Fd); }
};

TEST(DaemonServiceTest, ReadyOnceItAcceptsAndStopsCleanlyOnSigterm) {
    TDaemonCopy copy(16401);
    auto daemon = copy.Start();
    ASSERT_EQ(copy.ReceiveNotification(), "READY=1\nSTATUS=Serving IRC on port 16401");

    // No retry: the port accepts as soon as the service said it was ready.
    auto alice = Talker(16401, "127.0.0.2", "alice");
    auto bob = Talker(16401, "127.0.0.3", "bob");
    auto carol = Client(16401, "127.0.0.4");  // not registered yet
    ExpectHeard(*alice, *bob, "hello");
    alice->Send("VERSION");
    const auto version = alice->ReadUntil(" 351 ");
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(version.back(),
              ":TavoServer 351 alice TavoServerDaemon-0.652 TavoServer :TavoServerDaemon\r\n");

    daemon->Signal(SIGTERM);
    EXPECT_EQ(copy.ReceiveNotification(), "STOPPING=1");
    EXPECT_EQ(daemon->Wait(10000), 0);
    for (auto* client : {alice.get(), bob.get(), carol.get()}) {
        EXPECT_TRUE(client->WaitClosed(1000));
        EXPECT_FALSE(client->ReadLine(100)) << "the stop sends no message, not even a QUIT";
    }
    EXPECT_EQ(copy.StandardError(), StartedEntry(16401) + "\n" + StoppedEntry(3) + "\n")
        << "nothing went wrong, so only the start and the stop were logged";
    EXPECT_FALSE(copy.ReceiveNotification(0));
}

TEST(DaemonServiceTest, AStartOnAPortInUseLeavesAnErrorEntryAndNoReadiness) {
    TPortTaken taken(16402);
    TDaemonCopy copy(16402);
    auto daemon = copy.Start();
    EXPECT_EQ(daemon->Wait(10000), 1);
    EXPECT_EQ(copy.StandardError(),
              "<3>Service1: サービス失敗 開始: ポート 16402 はほかのプログラムが使っています "
              "(Address already in use)\n");
    EXPECT_FALSE(copy.ReceiveNotification(0));
}

TEST(DaemonServiceTest, PauseAndContinueOnlyWriteNotices) {
    TDaemonCopy copy(16403);
    auto daemon = copy.Start();
    ASSERT_TRUE(copy.ReceiveNotification());
    auto alice = Talker(16403, "127.0.0.2", "alice");
    auto bob = Talker(16403, "127.0.0.3", "bob");

    daemon->Signal(SIGUSR1);
    EXPECT_EQ(copy.ReceiveNotification(), "STATUS=Paused (still serving IRC on port 16403)");
    EXPECT_EQ(copy.WaitForErrorLines(2),
              (std::vector<std::string>{StartedEntry(16403), kPausedEntry}));
    ExpectHeard(*alice, *bob, "while paused");
    ExpectHeard(*bob, *alice, "still here");
    auto carol = Talker(16403, "127.0.0.4", "carol");  // the listener still accepts
    ExpectHeard(*carol, *alice, "new while paused");

    daemon->Signal(SIGUSR2);
    EXPECT_EQ(copy.ReceiveNotification(), "STATUS=Serving IRC on port 16403");
    EXPECT_EQ(copy.WaitForErrorLines(3),
              (std::vector<std::string>{StartedEntry(16403), kPausedEntry, kContinuedEntry}));
    ExpectHeard(*alice, *carol, "continued");
    ExpectHeard(*bob, *alice, "as before");

    daemon->Signal(SIGTERM);
    EXPECT_EQ(copy.ReceiveNotification(), "STOPPING=1");
    EXPECT_EQ(daemon->Wait(10000), 0);
    EXPECT_EQ(copy.WaitForErrorLines(4),
              (std::vector<std::string>{StartedEntry(16403), kPausedEntry, kContinuedEntry,
                                        StoppedEntry(3)}));
}

TEST(DaemonServiceTest, AStandardErrorThatNobodyReadsHoldsNothingUp) {
    TDaemonCopy copy(16404);
    // A named pipe, already full, as standard error.
    const fs::path fifo = copy.Folder() / "stderr-fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int filler = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_GE(filler, 0);
    const std::string chunk(4096, 'x');
    while (write(filler, chunk.data(), chunk.size()) > 0) {
    }
    TChildOptions options = copy.Options();
    options.StandardError = fifo;
    TChildProcess daemon(copy.Program(), {}, options);
    ASSERT_TRUE(copy.ReceiveNotification());
    auto alice = Talker(16404, "127.0.0.2", "alice");
    auto bob = Talker(16404, "127.0.0.3", "bob");

    // Each notice waits in vain for standard error; connections do not wait for it.
    for (int round = 0; round < 10; ++round) {
        daemon.Signal(round % 2 == 0 ? SIGUSR1 : SIGUSR2);
        ExpectHeard(*alice, *bob, "round " + std::to_string(round));
    }
    const auto stopStart = std::chrono::steady_clock::now();
    daemon.Signal(SIGTERM);
    // The rounds' statuses come first (signals that come close together count once).
    std::optional<std::string> notification;
    while ((notification = copy.ReceiveNotification()) && notification->starts_with("STATUS="))
        ;
    EXPECT_EQ(notification, "STOPPING=1");
    EXPECT_EQ(daemon.Wait(10000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 6s)
        << "the log's end must not wait long for standard error";
    close(filler);
    close(reader);
}

// Entries reach the journal: the service runs in a mount namespace of its own in
// which the test's folder stands in for /run/systemd, so the journal socket that
// libsystemd writes to is the test's. Standard error is named as the journal's
// stream, so nothing is written there.
TEST(DaemonServiceTest, EntriesReachTheJournalWithIdentifierAndPriority) {
    TDaemonCopy copy(16405);
    const fs::path runSystemd = copy.Folder() / "run-systemd";
    fs::create_directories(runSystemd / "journal");
    const std::string isolate = "unshare --mount --propagation private sh -c 'mount --bind " +
                                runSystemd.string() + " /run/systemd' 2>/dev/null";
    if (!fs::is_directory("/run/systemd") || std::system(isolate.c_str()) != 0)
        GTEST_SKIP() << "no private mount namespace here (needs root and unshare)";
    const TDatagramSocket journal(runSystemd / "journal" / "socket");

    TPortTaken taken(16405);
    { std::ofstream(copy.StandardErrorFile()); }
    struct stat stream {};
    ASSERT_EQ(stat(copy.StandardErrorFile().c_str(), &stream), 0);
    const std::string journalStream =
        "JOURNAL_STREAM=" + std::to_string(stream.st_dev) + ":" + std::to_string(stream.st_ino);
    TChildProcess daemon("/usr/bin/unshare",
                         {"--mount", "--propagation", "private", "sh", "-c",
                          "mount --bind \"$0\" /run/systemd && exec \"$1\"", runSystemd.string(),
                          copy.Program().string()},
                         copy.Options({journalStream}));
    EXPECT_EQ(daemon.Wait(10000), 1);
    EXPECT_EQ(journal.Receive(0),
              "MESSAGE=サービス失敗 開始: ポート 16405 はほかのプログラムが使っています "
              "(Address already in use)\nPRIORITY=3\n"
              "SYSLOG_IDENTIFIER=Service1\n");
    EXPECT_EQ(copy.StandardError(), "");
}

}  // namespace
