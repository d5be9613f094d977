// The sending side of a connection on a real socket pair: lines from many threads
// arrive whole and in order, a batch is written once when it closes (by its own thread
// when it reached few outputs, else by the writer), a peer that does
// not read never holds a writer up and is ended at the limit or after a stall, and
// a closing error never tears a line.
#include "core/ConnectionOutput.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"

namespace {

struct ConnectionOutputTest : ::testing::Test {
    TOutputWriter writer;
    std::shared_ptr<listener::TClientSocket> socket;
    int peer = -1;

    void SetUp() override {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        socket = std::make_shared<listener::TClientSocket>(fds[0], sockaddr_in{});
        peer = fds[1];
    }
    void TearDown() override { ::close(peer); }

    // Everything the peer can read now, without waiting.
    std::string ReadAvailable() {
        std::string text;
        char buffer[65536];
        ssize_t got;
        while ((got = recv(peer, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            text.append(buffer, static_cast<std::size_t>(got));
        return text;
    }
    // Queues lines until the socket is full and the rest waits for room.
    std::size_t FillUntilWaiting(TConnectionOutput& output, const std::string& line) {
        std::size_t lines = 0;
        while (!output.WaitsForRoom()) {
            if (output.Append(line))
                output.Flush();
            ++lines;
        }
        return lines;
    }
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        lines.push_back(text.substr(start, end + 2 - start));
        start = end + 2;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));  // a torn line, if any
    return lines;
}

TEST_F(ConnectionOutputTest, LinesFromManyThreadsArriveWholeAndInEachThreadsOrder) {
    auto output = std::make_shared<TConnectionOutput>(socket, 64 << 20);
    constexpr int kThreads = 4, kLines = 2000;
    std::string received;
    std::thread reader([&] {
        const std::size_t expected =
            kThreads * kLines * std::string("t0 00000 ........\r\n").size();
        char buffer[4096];
        while (received.size() < expected) {
            const ssize_t got = recv(peer, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            received.append(buffer, static_cast<std::size_t>(got));
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) {
                char line[32];
                std::snprintf(line, sizeof line, "t%d %05d ........\r\n", t, i);
                TOutputBatch batch(writer);
                if (output->Append(line) && !TOutputBatch::Defer(output))
                    output->Flush();
                // The peer reads on; what the socket did not take is written here,
                // as the connection's own thread would.
                if (output->WaitsForRoom())
                    output->Flush();
            }
        });
    }
    for (auto& thread : writers)
        thread.join();
    writer.WaitUntilIdle();
    while (output->WaitsForRoom())
        output->Flush();
    reader.join();
    EXPECT_EQ(output->Failure(), 0);
    std::map<int, int> next;
    for (const auto& line : SplitLines(received)) {
        ASSERT_EQ(line.size(), 19u) << "torn line: " << line;
        const int thread = line[1] - '0';
        EXPECT_EQ(std::stoi(line.substr(3, 5)), next[thread]++) << line;
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(next[t], kLines);
}

TEST_F(ConnectionOutputTest, ABatchHandsItsOutputsToTheWriterOnlyWhenItCloses) {
    auto output = std::make_shared<TConnectionOutput>(socket, 1 << 20);
    {
        TOutputBatch outer(writer);
        {
            TOutputBatch inner(writer);
            ASSERT_TRUE(output->Append("one\r\n"));
            ASSERT_TRUE(TOutputBatch::Defer(output));
            EXPECT_FALSE(output->Append("two\r\n")) << "already promised to the batch";
        }
        writer.WaitUntilIdle();
        EXPECT_EQ(ReadAvailable(), "") << "only the outermost batch hands over";
    }
    writer.WaitUntilIdle();
    EXPECT_EQ(ReadAvailable(), "one\r\ntwo\r\n");
    EXPECT_FALSE(TOutputBatch::Defer(output)) << "no batch open: the caller writes";
}

TEST_F(ConnectionOutputTest, ABurstToFewOutputsIsWrittenByItsOwnThreadAsItsBatchCloses) {
    auto output = std::make_shared<TConnectionOutput>(socket, 1 << 20);
    {
        TOutputBatch batch(writer);
        ASSERT_TRUE(output->Append("one\r\n"));
        ASSERT_TRUE(TOutputBatch::Defer(output));
        EXPECT_FALSE(output->Append("two\r\n"));
        EXPECT_EQ(ReadAvailable(), "");
    }
    EXPECT_EQ(ReadAvailable(), "one\r\ntwo\r\n") << "written before the batch's thread goes on";
}

// Big fan-outs (through the writer) and small ones (written by their own threads) reach
// the same connections at once: each connection still gets every thread's lines whole
// and in that thread's order.
TEST(ConnectionOutputFanOut, BigAndSmallFanOutsToTheSameOutputsKeepEachThreadsOrder) {
    constexpr int kOutputs = static_cast<int>(TOutputBatch::kOwnWritesPerBurst) + 4;
    constexpr int kThreads = 4, kLines = 300;
    const std::size_t lineBytes = std::string("t0 00000 ........\r\n").size();
    TOutputWriter writer;
    std::vector<std::shared_ptr<TConnectionOutput>> outputs;
    std::vector<int> peers;
    for (int i = 0; i < kOutputs; ++i) {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        outputs.push_back(std::make_shared<TConnectionOutput>(
            std::make_shared<listener::TClientSocket>(fds[0], sockaddr_in{}), 64 << 20));
        peers.push_back(fds[1]);
    }
    std::vector<std::string> received(kOutputs);
    std::thread reader([&] {
        // Odd threads reach only the first two outputs; even threads reach all.
        for (int i = 0; i < kOutputs; ++i) {
            const std::size_t expected = lineBytes * kLines * (i < 2 ? kThreads : kThreads / 2);
            char buffer[4096];
            while (received[i].size() < expected) {
                const ssize_t got = recv(peers[i], buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                received[i].append(buffer, static_cast<std::size_t>(got));
            }
        }
    });
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            const int reach = t % 2 == 0 ? kOutputs : 2;
            for (int i = 0; i < kLines; ++i) {
                char line[32];
                std::snprintf(line, sizeof line, "t%d %05d ........\r\n", t, i);
                TOutputBatch batch(writer);
                for (int o = 0; o < reach; ++o)
                    if (outputs[o]->Append(line) && !TOutputBatch::Defer(outputs[o]))
                        outputs[o]->Flush();
            }
        });
    }
    for (auto& sender : senders)
        sender.join();
    writer.WaitUntilIdle();
    // What full sockets left waits for their connections' own threads, played here.
    for (bool more = true; more;) {
        more = false;
        for (auto& output : outputs)
            if (output->WaitsForRoom()) {
                output->Flush();
                more = true;
            }
        std::this_thread::yield();
    }
    reader.join();
    for (int i = 0; i < kOutputs; ++i) {
        std::map<int, int> next;
        for (const auto& line : SplitLines(received[i])) {
            ASSERT_EQ(line.size(), lineBytes) << "torn line at output " << i << ": " << line;
            const int thread = line[1] - '0';
            ASSERT_EQ(std::stoi(line.substr(3, 5)), next[thread]++) << "output " << i;
        }
        EXPECT_EQ(next[0], kLines) << "output " << i;
        ::close(peers[i]);
    }
}

TEST_F(ConnectionOutputTest, APeerThatDoesNotReadIsEndedAtTheLimitWithoutHoldingWritersUp) {
    TConnectionOutput output(socket, 256 * 1024);
    const std::string line(100, 'x');
    FillUntilWaiting(output, line + "\r\n");
    EXPECT_EQ(output.Failure(), 0);
    // Nobody writes any more while the socket is full: lines only queue up, at once.
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(output.Append(line + "\r\n"));
    while (output.Failure() == 0)
        output.Append(line + "\r\n");
    EXPECT_EQ(output.Failure(), ENOBUFS);
    EXPECT_FALSE(socket->Connected());
    EXPECT_FALSE(output.Append("after\r\n"));
}

TEST_F(ConnectionOutputTest, OutputThatDoesNotMoveEndsTheConnectionAfterTheStallTimeout) {
    TConnectionOutput output(socket, 64 << 20);
    FillUntilWaiting(output, std::string(500, 's') + "\r\n");
    output.EndIfStalled(60000);
    EXPECT_EQ(output.Failure(), 0);
    platform::SetTimeOffsetForTests(60001);
    output.EndIfStalled(60000);
    platform::SetTimeOffsetForTests(0);
    EXPECT_EQ(output.Failure(), ETIMEDOUT);
    EXPECT_FALSE(socket->Connected());

    TConnectionOutput idle(socket, 1024);
    platform::SetTimeOffsetForTests(600000);
    idle.EndIfStalled(60000);
    platform::SetTimeOffsetForTests(0);
    EXPECT_EQ(idle.Failure(), 0) << "nothing queued is no stall";
}

TEST_F(ConnectionOutputTest, AClosingErrorFinishesTheTornLineAndDropsTheBacklog) {
    TConnectionOutput output(socket, 64 << 20);
    const std::string line = std::string(997, 'b') + "\r\n";
    const std::size_t queued = FillUntilWaiting(output, line);
    output.Append("backlog\r\n");
    std::string received = ReadAvailable();  // the peer reads what was sent so far
    output.WriteClosingError("ERROR :ClosingLink: bye\r\n");
    received += ReadAvailable();
    EXPECT_FALSE(socket->Connected());
    const auto lines = SplitLines(received);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_LT(lines.size(), queued + 1) << "the backlog is never sent";
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        ASSERT_EQ(lines[i], line) << "line " << i;
    EXPECT_EQ(lines.back(), "ERROR :ClosingLink: bye\r\n");
}

TEST_F(ConnectionOutputTest, AClosingErrorSendsLinesOnlyWaitingForTheirBatchFirst) {
    auto output = std::make_shared<TConnectionOutput>(socket, 1 << 20);
    {
        TOutputBatch batch(writer);
        ASSERT_TRUE(output->Append("reply\r\n"));
        ASSERT_TRUE(TOutputBatch::Defer(output));
        output->WriteClosingError("ERROR :ClosingLink: over\r\n");
    }
    EXPECT_EQ(ReadAvailable(), "reply\r\nERROR :ClosingLink: over\r\n");
    EXPECT_FALSE(socket->Connected());
}

}  // namespace
