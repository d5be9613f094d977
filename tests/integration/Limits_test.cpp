// What one client can make the server do to others or keep for it: a target named
// twice is served once, relayed output is held to a budget that a reader of modest
// speed keeps up with, and ban lists, channels per user, topics and invitations
// have bounds.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "core/ConstructionUnit/NumericReplies.h"
#include "core/HashTable.h"
#include "tests/support/Replies.h"
#include "tests/support/TestClient.h"
#include "tests/support/TestServer.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kAlicePrefix = ":alice!~user@127.0.0.2";

class LimitsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        alice.Register("alice");
        bob.Register("bob");
    }
    void Join(TTestClient& client, const std::string& channel) {
        client.Send("JOIN " + channel);
        client.ReadUntil(" 366 ");
    }

    TTestServer server;
    TTestClient alice{server.Port(), "127.0.0.2"};
    TTestClient bob{server.Port(), "127.0.0.3"};
};

TEST_F(LimitsTest, ATargetNamedAgainInOneCommandIsServedOnce) {
    JoinInTurn({&alice, &bob}, "#room");
    alice.Send("PRIVMSG bob BOB bob #room #ROOM :hi");
    EXPECT_EQ(bob.ReadLine(), ":alice!~user@127.0.0.2 PRIVMSG bob :hi\r\n");
    EXPECT_EQ(bob.ReadLine(), ":alice!~user@127.0.0.2 PRIVMSG #room :hi\r\n");
    ExpectNothingMore(bob);
    alice.Send("NOTICE bob bob :again");
    EXPECT_EQ(bob.ReadLine(), ":alice!~user@127.0.0.2 NOTICE bob :again\r\n");
    ExpectNothingMore(bob);
    ExpectNothingMore(alice);
}

TEST_F(LimitsTest, ABanListHoldsAHundredMasksAndIgnoresMore) {
    Join(alice, "#room");
    for (std::size_t i = 0; i + 1 < TChannelData::kMaxBans; ++i) {
        alice.Send("MODE #room +b n" + std::to_string(i) + "!*@*");
        alice.ReadLine();  // one at a time: a client that floods is ended
    }
    alice.Send("MODE #room +bbb last!*@* over!*@* more!*@*");
    EXPECT_EQ(alice.ReadLine(), ":alice!~user@127.0.0.2 MODE #room +b last!*@*\r\n");
    ExpectNothingMore(alice);
    alice.Send("MODE #room -b n0!*@*");
    EXPECT_EQ(alice.ReadLine(), ":alice!~user@127.0.0.2 MODE #room -b n0!*@*\r\n");
    alice.Send("MODE #room +b again!*@*");
    EXPECT_EQ(alice.ReadLine(), ":alice!~user@127.0.0.2 MODE #room +b again!*@*\r\n")
        << "a removal makes room";
}

TEST_F(LimitsTest, AUserOnAHundredChannelsGets405ForAnotherAndNothingIsCreated) {
    for (std::size_t i = 0; i < TUserData::kMaxChannels; ++i)
        Join(alice, "#c" + std::to_string(i));
    alice.Send("JOIN #one-more");
    EXPECT_EQ(alice.ReadLine(), ErrorLine("alice", TReply::TooManyChannels, {"#one-more"}));
    alice.Send("JOIN #c5");  // one already joined: nothing, as before
    ExpectNothingMore(alice);
    bob.Send("LIST #one-more");
    EXPECT_EQ(bob.ReadLine(), ErrorLine("bob", TReply::NoSuchChannel, {"#one-more"}))
        << "no channel was made";
    alice.Send("PART #c0");
    alice.ReadLine();
    alice.Send("JOIN #one-more");
    EXPECT_EQ(alice.ReadLine(), ":alice!~user@127.0.0.2 JOIN :#one-more\r\n");
}

TEST_F(LimitsTest, ATopicIsCutAtACharacterBoundaryBeyondItsLimit) {
    Join(alice, "#room");
    // One byte short of the limit, then a double-byte character that would pass it.
    const std::string kept(TChannelData::kMaxTopicBytes - 1, 't');
    alice.Send("TOPIC #room :" + kept + "\x93\xfa" + "tail");
    EXPECT_EQ(alice.ReadLine(), ":alice!~user@127.0.0.2 TOPIC #room :" + kept + "\r\n");
    alice.Send("TOPIC #room");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 332 alice #room :" + kept + "\r\n");
}

TEST_F(LimitsTest, AUserKeepsTheNewestHundredInvitations) {
    Join(alice, "#first");
    alice.Send("MODE #first +i");
    alice.Send("INVITE bob #first");
    alice.ReadUntil(" 341 ");
    // Each further channel lives just long enough to invite bob to it.
    for (std::size_t i = 0; i < TUserData::kMaxInvitations; ++i) {
        const std::string channel = "#later" + std::to_string(i);
        alice.Send("JOIN " + channel + "\r\nINVITE bob " + channel + "\r\nPART " + channel);
        alice.ReadUntil("PART " + channel);
        bob.ReadUntil("INVITE bob " + channel);
    }
    bob.Send("JOIN #first");
    EXPECT_EQ(bob.ReadLine(), ErrorLine("bob", TReply::InviteOnlyChannel, {"#first"}))
        << "the oldest invitation made room for the newest";
}

TEST_F(LimitsTest, NamesAndTextsAClientGivesAreBounded) {
    const std::string longName = "#" + std::string(TChannelData::kMaxNameBytes, 'c');
    alice.Send("JOIN " + longName);
    EXPECT_EQ(alice.ReadLine(), ErrorLine("alice", TReply::NoSuchChannel, {longName}));

    // A key or ban mask over its bound is used up and changes nothing.
    Join(alice, "#room");
    const std::string longKey(TChannelData::kMaxKeyBytes + 1, 'k');
    const std::string longMask = std::string(TChannelData::kMaxBanMaskBytes - 3, 'm') + "!*@*x";
    alice.Send("MODE #room +kb " + longKey + " " + longMask);
    alice.Send("MODE #room +b x!*@*");
    EXPECT_EQ(alice.ReadLine(), kAlicePrefix + " MODE #room +b x!*@*\r\n");

    // User name, real name and away text are cut where a longer one would begin.
    TTestClient carol(server.Port(), "127.0.0.4");
    carol.Send("NICK carol");
    carol.Send("USER " + std::string(40, 'u') + " h s :" + std::string(300, 'r'));
    carol.ReadUntil(" 376 ");
    carol.Send("AWAY :" + std::string(700, 'a'));
    carol.ReadUntil(" 306 ");
    bob.Send("WHOIS carol");
    EXPECT_EQ(bob.ReadLine(),
              ":TavoServer 311 bob carol ~" + std::string(TUserData::kMaxUserNameBytes, 'u') +
                  " 127.0.0.4 * :" + std::string(TUserData::kMaxRealNameBytes, 'r') + "\r\n");
    bob.ReadUntil(" 318 ");
    bob.Send("PRIVMSG carol :hi");
    EXPECT_EQ(bob.ReadLine(), ":TavoServer 301 bob carol :" +
                                  std::string(TUserData::kMaxAwayMessageBytes, 'a') + "\r\n");
}

struct TFloodOutcome {
    std::size_t RelayedBytes = 0;
    bool ReaderEnded = false;
};

// For three seconds a sender relays to a reader that takes 64 KB/s, as fast as the
// server takes it: two messages of 300 bytes and a PING per burst, so that the sender
// itself is never ended for flooding; its PONG comes once the server took the burst.
TFloodOutcome FloodASlowReader(int32_t relayBytesPerSecond) {
    TSettings settings;
    settings.RelayBytesPerSecond = relayBytesPerSecond;
    TTestServer server(settings);
    TTestClient sender(server.Port(), "127.0.0.2");
    TTestClient reader(server.Port(), "127.0.0.3");
    sender.Register("sender");
    reader.Register("reader");
    const int smallBuffer = 16 * 1024;
    setsockopt(reader.Fd(), SOL_SOCKET, SO_RCVBUF, &smallBuffer, sizeof smallBuffer);

    std::atomic<bool> sending{true};
    std::thread readerThread([&] {
        char buffer[4096];  // 4 KB every 62.5 ms while the sender sends
        auto next = Clock::now();
        while (sending) {
            next += std::chrono::microseconds(62500);
            std::this_thread::sleep_until(next);
            recv(reader.Fd(), buffer, sizeof buffer, MSG_DONTWAIT);
        }
    });
    const std::string text(300, 'x');
    const std::string burst =
        "PRIVMSG reader :" + text + "\r\nPRIVMSG reader :" + text + "\r\nPING x\r\n";
    const std::size_t relayedLine =
        std::string(":sender!~user@127.0.0.2 PRIVMSG reader :").size() + text.size() + 2;
    TFloodOutcome outcome;
    const auto end = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < end && !outcome.ReaderEnded) {
        sender.SendRaw(burst);
        // Once the server has ended the reader, the sender learns that the nick is gone.
        for (const auto& line : sender.ReadUntil(" PONG "))
            outcome.ReaderEnded |= line.find(" 401 ") != std::string::npos;
        outcome.RelayedBytes += 2 * relayedLine;
    }
    sending = false;
    readerThread.join();
    return outcome;
}

TEST(RelayBudget, AReaderOf64KBPerSecondSurvivesAnySingleSender) {
    const auto unlimited = FloodASlowReader(0);
    EXPECT_TRUE(unlimited.ReaderEnded) << "without a budget the reader's queue overflows";

    const auto limited = FloodASlowReader(TSettings{}.RelayBytesPerSecond);
    EXPECT_FALSE(limited.ReaderEnded);
    // The budget: four seconds' worth at once, then 32 KiB a second, for three seconds.
    const std::size_t rate = 32 * 1024;
    EXPECT_GT(limited.RelayedBytes, 4 * rate) << "the allowance passes at once";
    EXPECT_LE(limited.RelayedBytes, 4 * rate + 4 * rate);
}

// A sender that writes faster than its budget, without waiting for answers: what
// piles up meanwhile is paced, not taken for a flood, and all of it is relayed.
TEST(RelayBudget, ASenderBeyondItsBudgetIsSlowedNotEnded) {
    TSettings settings;
    settings.RelayBytesPerSecond = 2000;  // 8000 bytes at once, then 2000 a second
    TTestServer server(settings);
    TTestClient sender(server.Port(), "127.0.0.2");
    TTestClient reader(server.Port(), "127.0.0.3");
    sender.Register("sender");
    reader.Register("reader");

    // About 11600 bytes relayed, written at about 12000 bytes a second in lines of
    // 120 bytes (so that writes which the server happens to read together stay far
    // below a burst's limit): the last 3600 can be relayed only 1.8 s after the first
    // 8000.
    constexpr int kMessages = 80;
    const std::string text(100, 'x');
    const auto start = Clock::now();
    for (int i = 0; i < kMessages; ++i) {
        sender.Send("PRIVMSG reader :" + std::to_string(i) + text);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (int i = 0; i < kMessages; ++i) {
        ASSERT_EQ(reader.ReadLine(10000),
                  ":sender!~user@127.0.0.2 PRIVMSG reader :" + std::to_string(i) + text + "\r\n");
    }
    const auto paced = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GT(paced.count(), 1200) << "the budget did not slow the sender";
    sender.Send("PING x");
    EXPECT_EQ(sender.ReadLine(), kPong) << "the sender was ended";
}

}  // namespace
