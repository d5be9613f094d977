// The connection thread against the real listener: framing, the burst limit, the
// zero byte, the login and keep-alive timers, the same-host and over-limit marks,
// cached threads and slow readers.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <fstream>
#include <string>
#include <vector>

#include "JapaneseTexts.h"
#include "core/ConstructionUnit/NumericReplies.h"
#include "tests/support/Replies.h"
#include "tests/support/TestClient.h"
#include "tests/support/TestServer.h"

namespace {

std::string UnknownCommandReply(std::string_view nick, std::string_view command) {
    return BuildReplyLine("TavoServer", nick, TReply::UnknownCommand, {command});
}

// `count` lines "X<n>..." padded so that together they are exactly `bytes` long.
std::string LinesOfTotalSize(std::size_t bytes, int count) {
    std::string text;
    const std::size_t each = bytes / count;
    for (int i = 0; i < count; ++i) {
        const std::size_t size = (i == count - 1) ? bytes - text.size() : each;
        std::string line = "X" + std::to_string(i);
        line.resize(size - 2, 'x');
        text += line + "\r\n";
    }
    return text;
}

// The lines of `text` without their CR LF.
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

TEST(Connection, BurstOfExactly768BytesIsDispatchedAnd769EndTheConnection) {
    TTestServer server;
    TTestClient within(server.Port(), "127.0.0.2");
    const std::string burst = LinesOfTotalSize(768, 6);
    ASSERT_EQ(burst.size(), 768u);
    within.SendRaw(burst);
    for (const auto& command : LinesOf(burst)) {
        EXPECT_EQ(within.ReadLine(), UnknownCommandReply("", command));
    }

    TTestClient over(server.Port(), "127.0.0.3");
    over.SendRaw(LinesOfTotalSize(769, 6));
    EXPECT_TRUE(over.WaitClosed());
    EXPECT_FALSE(over.ReadLine(100)) << "no line of the oversized burst is dispatched";
    ASSERT_TRUE(server.WaitForEndedConnections(1));
    EXPECT_EQ(server.CloseReasons().front(), Texts::CloseFlood);
}

TEST(Connection, InputOfWholeReadSizesIsDispatchedAtOnce) {
    TTestServer server;  // waits of 60 s: a held-back line would time the test out
    TTestClient client(server.Port(), "127.0.0.2");
    for (const std::size_t size : {127u, 254u}) {
        const std::string line = LinesOfTotalSize(size, 1);
        client.SendRaw(line);
        const auto reply = client.ReadLine();
        ASSERT_TRUE(reply) << size << " bytes were held back";
        EXPECT_EQ(*reply, UnknownCommandReply("", line.substr(0, size - 2)));
    }
}

TEST(Connection, OnlyCrLfEndsALineAndAZeroByteDropsTheRestOfItsRead) {
    TTestServer server;
    TTestClient client(server.Port(), "127.0.0.2");
    client.SendRaw("FOO\nBAR\r\nBAZ\rQUX\r\n");
    // Each is one unknown command; the reply that names it ends at its line break,
    // since no line leaves the server with a break before its end.
    const auto upToBreak = [](const std::string& line, char lineBreak) {
        return line.substr(0, line.find(lineBreak)) + "\r\n";
    };
    EXPECT_EQ(client.ReadLine(), upToBreak(UnknownCommandReply("", "FOO\nBAR"), '\n'));
    EXPECT_EQ(client.ReadLine(), upToBreak(UnknownCommandReply("", "BAZ\rQUX"), '\r'));

    client.SendRaw(std::string("ONE\r\nTW\0O\r\nTHREE\r\n", 18));
    EXPECT_EQ(client.ReadLine(), UnknownCommandReply("", "ONE"));
    client.SendRaw("Q\r\n");  // completes the "TW" kept in the line buffer
    EXPECT_EQ(client.ReadLine(), UnknownCommandReply("", "TWQ"));
    EXPECT_FALSE(client.ReadLine(200));
}

TEST(Connection, LinesAfterAClosingErrorInTheSameBurstAreNotDispatched) {
    TTestServer server;
    TTestClient client(server.Port(), "127.0.0.2");
    client.Register("alice");
    client.SendRaw("QUIT :bye\r\nFOO\r\n");
    EXPECT_EQ(client.ReadLine(), "ERROR :ClosingLink: alice[~user@127.0.0.2] bye\r\n");
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_FALSE(client.ReadLine(100));
}

TEST(Connection, SecondUserFromTheSameHostIsRefusedAtRegistration) {
    TTestServer server;
    TTestClient first(server.Port(), "127.0.0.5");
    first.Register("first");
    TTestClient second(server.Port(), "127.0.0.5");
    second.Send("NICK second");
    second.Send("USER user host server :Second");
    EXPECT_EQ(second.ReadLine(), "ERROR :ClosingLink: second[~user@127.0.0.5]" +
                                     std::string(Texts::RefuseSameHost) + "\r\n");
    EXPECT_TRUE(second.WaitClosed());
}

TEST(Connection, ConnectionsBeyondMaxConnectionAreRefusedAtRegistration) {
    TSettings settings;
    settings.MaxConnection = 2;
    TTestServer server(settings);
    TTestClient first(server.Port(), "127.0.0.2");
    TTestClient second(server.Port(), "127.0.0.3");
    first.Register("first");
    second.Register("second");
    TTestClient third(server.Port(), "127.0.0.4");
    third.Send("NICK third");
    third.Send("USER user host server :Third");
    EXPECT_EQ(third.ReadLine(), "ERROR :ClosingLink: third[~user@127.0.0.4]" +
                                    std::string(Texts::RefuseOverLimit) + "\r\n");
    EXPECT_TRUE(third.WaitClosed());
}

TEST(Connection, IdleConnectionsThatNeverRegisterTakeNoUsersPlace) {
    TSettings settings;
    settings.MaxConnection = 2;
    TTestServer server(settings);
    std::vector<std::unique_ptr<TTestClient>> idle;
    for (const char* host : {"127.0.0.2", "127.0.0.3"}) {
        for (int i = 0; i < 2; ++i)
            idle.push_back(std::make_unique<TTestClient>(server.Port(), host));
    }
    // Register fails the test unless the client is welcomed.
    TTestClient first(server.Port(), "127.0.0.4");
    first.Register("first");
    TTestClient second(server.Port(), "127.0.0.5");
    second.Register("second");
}

TEST(Connection, OfConnectionsFromOneHostThatRegisterAtOnceOnlyTheFirstGetsIn) {
    TTestServer server;
    TTestClient first(server.Port(), "127.0.0.5");
    TTestClient second(server.Port(), "127.0.0.5");
    // Both have started (each answers a line) before either registers.
    for (TTestClient* client : {&first, &second}) {
        client->Send("PING x");
        ASSERT_TRUE(client->ReadLine());
    }
    first.Send("NICK first");
    second.Send("NICK second");
    first.Send("USER user host server :First");
    first.ReadUntil(" 376 ");
    second.Send("USER user host server :Second");
    EXPECT_EQ(second.ReadLine(), "ERROR :ClosingLink: second[~user@127.0.0.5]" +
                                     std::string(Texts::RefuseSameHost) + "\r\n");
    EXPECT_TRUE(second.WaitClosed());
}

TConnectionTimings ShortTimings() {
    TConnectionTimings timings;
    timings.WaitForDataMs = 50;
    timings.LoginTimeoutMs = 300;
    return timings;
}

TEST(Connection, UnregisteredConnectionEndsAfterTheLoginTimeoutWithoutAWord) {
    TTestServer server({}, ShortTimings());
    TTestClient client(server.Port(), "127.0.0.2");
    client.Send("NICK alice");  // only half registered
    EXPECT_TRUE(client.WaitClosed(3000));
    EXPECT_FALSE(client.ReadLine(100));
    ASSERT_TRUE(server.WaitForEndedConnections(1));
    EXPECT_EQ(server.CloseReasons().front(), Texts::CloseLoginTimeOut);
}

TEST(Connection, KeepAlivePingsASilentClientAndEndsItWhenNoPongComes) {
    TSettings settings;
    settings.PingInterval = 1;
    TTestServer server(settings, ShortTimings());
    TTestClient answering(server.Port(), "127.0.0.2");
    TTestClient silent(server.Port(), "127.0.0.3");
    answering.Register("answering");
    silent.Register("silent");

    EXPECT_EQ(silent.ReadLine(3000), "PING :TavoServer\r\n");
    EXPECT_EQ(answering.ReadLine(3000), "PING :TavoServer\r\n");
    answering.Send("PONG :TavoServer");
    EXPECT_TRUE(silent.WaitClosed(4000));
    ASSERT_TRUE(server.WaitForEndedConnections(1));
    EXPECT_EQ(server.CloseReasons().front(), Texts::ClosePingTimeOut);

    // The client that answered is pinged again rather than ended.
    EXPECT_EQ(answering.ReadLine(3000), "PING :TavoServer\r\n");
}

TEST(Connection, CachedThreadStartsEachConnectionWithFreshFields) {
    TTestServer server({}, {}, 1);
    {
        TTestClient first(server.Port(), "127.0.0.2");
        first.Register("alice");
        first.SendRaw(std::string(800, 'x'));  // ended by the server: sets CloseReason
        EXPECT_TRUE(first.WaitClosed());
    }
    ASSERT_TRUE(server.WaitForEndedConnections(1));
    TTestClient second(server.Port(), "127.0.0.2");
    second.Send("FOO");
    EXPECT_EQ(second.ReadLine(), UnknownCommandReply("", "FOO")) << "Nick was not reset";
    second.Register("bob");  // same host again: SameHost was reset, the old record is gone
    second.Send("QUIT");
    EXPECT_TRUE(second.WaitClosed());
    ASSERT_TRUE(server.WaitForEndedConnections(2));
    EXPECT_EQ(server.CloseReasons()[0], Texts::CloseFlood);
    EXPECT_EQ(server.CloseReasons()[1], "") << "CloseReason was not reset";
}

TEST(Connection, IdleTimeOfAUserNotYetRegisteredCountsFromItsConnection) {
    TTestServer server;
    TTestClient asker(server.Port(), "127.0.0.3");
    asker.Register("asker");
    TTestClient halfway(server.Port(), "127.0.0.2");
    halfway.Send("NICK halfway");
    halfway.Send("PING x");  // answered with 451 once NICK has been handled
    ASSERT_TRUE(halfway.ReadLine());
    asker.Send("WHOIS halfway");
    const auto lines = asker.ReadUntil(" 317 ");
    const std::string head = ":TavoServer 317 asker halfway ";
    ASSERT_EQ(lines.back().substr(0, head.size()), head);
    EXPECT_LE(std::stol(lines.back().substr(head.size())), 2) << lines.back();
}

TEST(Connection, OversizedLineWithoutLineEndEndsTheConnection) {
    TConnectionTimings timings;
    timings.LineBufferLimitBytes = 2000;
    TTestServer server({}, timings);
    TTestClient client(server.Port(), "127.0.0.2");
    for (int i = 0; i < 4 && !client.WaitClosed(20); ++i)
        client.SendRaw(std::string(700, 'x'));
    EXPECT_TRUE(client.WaitClosed());
    ASSERT_TRUE(server.WaitForEndedConnections(1));
    EXPECT_EQ(server.CloseReasons().front(), Texts::CloseFlood);
}

TEST(Connection, ClientThatStopsReadingDelaysNobodyAndIsEndedPastTheQueueBound) {
    TConnectionTimings timings;
    timings.OutQueueLimitBytes = 64 * 1024;
    TTestServer server({}, timings);
    TTestClient sender(server.Port(), "127.0.0.2");
    TTestClient watcher(server.Port(), "127.0.0.3");
    TTestClient stalled(server.Port(), "127.0.0.4");
    const int smallBuffer = 4096;
    setsockopt(stalled.Fd(), SOL_SOCKET, SO_RCVBUF, &smallBuffer, sizeof smallBuffer);
    sender.Register("sender");
    watcher.Register("watcher");
    stalled.Register("stalled");
    JoinInTurn({&sender, &watcher, &stalled}, "#a");  // from here on `stalled` reads nothing

    const std::string text(400, 'm');
    const std::string relayed = ":sender!~user@127.0.0.2 PRIVMSG #a :" + text + "\r\n";
    const std::string quit =
        ":stalled!~user@127.0.0.4 QUIT :" + std::string(Texts::QuitReadError) + "\r\n";
    // Lines other than the expected one: only the stalled client's departure may come.
    int quitsSeen = 0;
    const auto expectOnlyTheQuit = [&](std::vector<std::string> lines, std::string_view last) {
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), last);
        lines.pop_back();
        for (const auto& line : lines) {
            EXPECT_EQ(line, quit);
            ++quitsSeen;
        }
    };
    int sent = 0;
    // Each round trip proves the sender's thread was not held up writing to `stalled`.
    while (sent < 40000 && server.ShownErrors().empty()) {
        sender.SendRaw("PRIVMSG #a :" + text + "\r\nPING x\r\n");
        expectOnlyTheQuit(sender.ReadUntil(" PONG ", 2000), ":TavoServer PONG TavoServer\r\n");
        ++sent;
        expectOnlyTheQuit(watcher.ReadUntil(" PRIVMSG ", 2000), relayed);
        if (HasFailure())
            return;
    }
    ASSERT_FALSE(server.ShownErrors().empty()) << "the stalled client was never ended";
    EXPECT_EQ(server.ShownErrors().front(), "No buffer space available");
    ASSERT_TRUE(server.WaitForEndedConnections(1));
    sender.Send("PING x");
    watcher.Send("PING x");
    expectOnlyTheQuit(sender.ReadUntil(" PONG "), ":TavoServer PONG TavoServer\r\n");
    expectOnlyTheQuit(watcher.ReadUntil(" PONG "), ":TavoServer PONG TavoServer\r\n");
    EXPECT_EQ(quitsSeen, 2) << "both members are told once that the stalled client left";
}

// The largest send buffer the kernel grows a socket to: output beyond it has to wait
// in the connection's own queue.
std::size_t KernelSendBufferMax() {
    std::ifstream settings("/proc/sys/net/ipv4/tcp_wmem");
    std::size_t minimum = 0, initial = 0, maximum = 4 << 20;
    settings >> minimum >> initial >> maximum;
    return maximum;
}

TEST(Connection, QueuedOutputIsWrittenAsSoonAsASlowReaderCatchesUp) {
    TConnectionTimings timings;
    timings.OutQueueLimitBytes = 64 << 20;  // keep the slow reader connected
    TSettings settings;
    settings.RelayBytesPerSecond = 0;       // the sender floods on purpose
    TTestServer server(settings, timings);  // waits of 60 s: a missed wake-up stalls the test
    TTestClient sender(server.Port(), "127.0.0.2");
    TTestClient reader(server.Port(), "127.0.0.3");
    const int smallBuffer = 4096;
    setsockopt(reader.Fd(), SOL_SOCKET, SO_RCVBUF, &smallBuffer, sizeof smallBuffer);
    sender.Register("sender");
    reader.Register("reader");
    JoinInTurn({&sender, &reader}, "#a");

    const std::string relayed =
        ":sender!~user@127.0.0.2 PRIVMSG #a :" + std::string(400, 'm') + "\r\n";
    const std::size_t messages = (KernelSendBufferMax() + (1 << 20)) / relayed.size();
    for (std::size_t sent = 0; sent < messages; ++sent) {
        sender.SendRaw("PRIVMSG #a :" + std::string(400, 'm') + "\r\nPING x\r\n");
        ASSERT_EQ(sender.ReadLine(2000), ":TavoServer PONG TavoServer\r\n");
    }
    // The reader, silent all along, now reads (with room to take the data quickly):
    // everything queued must follow promptly.
    const int largeBuffer = 4 << 20;
    setsockopt(reader.Fd(), SOL_SOCKET, SO_RCVBUF, &largeBuffer, sizeof largeBuffer);
    for (std::size_t received = 0; received < messages; ++received) {
        ASSERT_EQ(reader.ReadLine(5000), relayed) << "line " << received << " of " << messages;
    }
}

}  // namespace
