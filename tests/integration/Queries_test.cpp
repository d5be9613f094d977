// WHO, WHOIS, ISON, AWAY, VERSION, PING and PONG through a real server, and what
// renews the idle time that WHOIS reports.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "JapaneseTexts.h"
#include "core/ConstructionUnit/NumericReplies.h"
#include "tests/support/Replies.h"
#include "tests/support/TestClient.h"
#include "tests/support/TestServer.h"

namespace {

// The idle seconds of the next line, which must be the 317 line about `nick`; -1 when
// it is not.
int64_t ReadIdleSeconds(TTestClient& client, const std::string& asker, const std::string& nick) {
    const std::string head = ":TavoServer 317 " + asker + " " + nick + " ";
    const std::string tail = " :" + std::string(Texts::Whois317) + "\r\n";
    const std::string line = client.ReadLine().value_or("");
    const bool shaped =
        line.size() > head.size() + tail.size() && line.starts_with(head) && line.ends_with(tail);
    EXPECT_TRUE(shaped) << line;
    if (!shaped)
        return -1;
    return std::stoll(line.substr(head.size(), line.size() - head.size() - tail.size()));
}

class QueriesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        alice.Register("alice");
        bob.Register("bob", "bobuser");
        carol.Register("carol");
    }

    static void Join(TTestClient& client, const std::string& channel) {
        client.Send("JOIN " + channel);
        client.ReadUntil(" 366 ");
    }

    template <class Change>
    void ChangeRegistry(Change change) {
        TClientData& registry = server.Core().Registry;
        std::lock_guard lock(registry.Lock);
        change(registry);
    }

    void MakeInvisible(const std::string& nick) {
        ChangeRegistry([&](TClientData& registry) { registry.Users.Find(nick)->Invisible = true; });
    }

    TTestServer server;
    TTestClient alice{server.Port(), "127.0.0.2"};
    TTestClient bob{server.Port(), "127.0.0.3"};
    TTestClient carol{server.Port(), "127.0.0.4"};
};

const std::string kWhoAlice = " ~user 127.0.0.2 TavoServer alice H";
const std::string kWhoBob = " ~bobuser 127.0.0.3 TavoServer bob H";
const std::string kWhoCarol = " ~user 127.0.0.4 TavoServer carol H";

TEST_F(QueriesTest, WhoOfChannelListsMembersInJoiningOrder) {
    Join(alice, "#room");
    Join(bob, "#room");
    alice.ReadUntil(" JOIN ");

    carol.Send("WHO #ROOM");
    EXPECT_EQ(carol.ReadLine(), ":TavoServer 352 carol #room" + kWhoAlice + "@ :0 Real Name\r\n");
    EXPECT_EQ(carol.ReadLine(), ":TavoServer 352 carol #room" + kWhoBob + " :0 Real Name\r\n");
    EXPECT_EQ(carol.ReadLine(), ":TavoServer 315 carol #room :End of /WHO list.\r\n");

    carol.Send("WHO #nowhere");
    EXPECT_EQ(carol.ReadLine(), ErrorLine("carol", TReply::NoSuchChannel, {"#nowhere"}));
}

TEST_F(QueriesTest, WhoOfChannelHidesFromNonMembersOnly) {
    Join(alice, "#room");
    Join(bob, "#room");
    MakeInvisible("bob");

    // A non-member does not see invisible members ...
    carol.Send("WHO #room");
    EXPECT_EQ(carol.ReadLine(), ":TavoServer 352 carol #room" + kWhoAlice + "@ :0 Real Name\r\n");
    EXPECT_EQ(carol.ReadLine(), ":TavoServer 315 carol #room :End of /WHO list.\r\n");
    // ... and nobody of a secret channel.
    ChangeRegistry([](TClientData& registry) { registry.Channels.Find("#room")->Secret = true; });
    carol.Send("WHO #room");
    EXPECT_EQ(carol.ReadLine(), ":TavoServer 315 carol #room :End of /WHO list.\r\n");

    // A member sees every member.
    alice.Send("WHO #room");
    alice.ReadUntil(" JOIN ");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 352 alice #room" + kWhoAlice + "@ :0 Real Name\r\n");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 352 alice #room" + kWhoBob + " :0 Real Name\r\n");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 315 alice #room :End of /WHO list.\r\n");
}

TEST_F(QueriesTest, InvisibleUserShowsOnlyToThoseWhoShareAChannel) {
    MakeInvisible("carol");

    alice.Send("WHO carol");
    ExpectNothingMore(alice);
    alice.Send("WHOIS carol");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 318 alice carol :End of Whois list\r\n");
    // Hidden even from himself while on no channel.
    carol.Send("WHO carol");
    ExpectNothingMore(carol);

    Join(carol, "#shared");
    Join(alice, "#shared");
    alice.Send("WHO CAROL");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 352 alice *" + kWhoCarol + " :0 Real Name\r\n");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 315 alice carol :End of /WHO list.\r\n");
    alice.Send("WHOIS carol");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 311 alice carol ~user 127.0.0.4 * :Real Name\r\n");

    bob.Send("WHO nobody");
    EXPECT_EQ(bob.ReadLine(), ErrorLine("bob", TReply::NoSuchNick, {"nobody"}));
}

TEST_F(QueriesTest, WhoisReportsUserServerIdleTimeAndChannels) {
    Join(alice, "#pub");
    Join(bob, "#pub");
    Join(bob, "#priv");
    ChangeRegistry([](TClientData& registry) { registry.Channels.Find("#priv")->Private = true; });

    carol.Send("WHOIS anything BOB");
    EXPECT_EQ(carol.ReadLine(), ":TavoServer 311 carol bob ~bobuser 127.0.0.3 * :Real Name\r\n");
    EXPECT_EQ(carol.ReadLine(),
              ":TavoServer 312 carol bob TavoServer :Simple IRC Server for Win32\r\n");
    EXPECT_GE(ReadIdleSeconds(carol, "carol", "bob"), 0);
    EXPECT_EQ(carol.ReadLine(), ":TavoServer 319 carol bob #pub @*\r\n");
    EXPECT_EQ(carol.ReadLine(), ":TavoServer 318 carol bob :End of Whois list\r\n");

    bob.Send("WHOIS carol");  // on no channel: the list is empty, the blank stays
    bob.ReadUntil(" 317 ");
    EXPECT_EQ(bob.ReadLine(), ":TavoServer 319 bob carol \r\n");
    EXPECT_EQ(bob.ReadLine(), ":TavoServer 318 bob carol :End of Whois list\r\n");

    bob.Send("WHOIS nobody");
    EXPECT_EQ(bob.ReadLine(), ErrorLine("bob", TReply::NoSuchNick, {"nobody"}));
}

TEST_F(QueriesTest, OnlyPlainMessagesRenewTheIdleTime) {
    const auto whoisIdleOfAlice = [this] {
        bob.Send("WHOIS alice");
        bob.ReadUntil(" 312 ");
        const int64_t idle = ReadIdleSeconds(bob, "bob", "alice");
        bob.ReadUntil(" 318 ");
        return idle;
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));

    // A CTCP message is relayed byte for byte but leaves the idle time running.
    alice.Send("PRIVMSG bob :\x01VERSION\x01");
    EXPECT_EQ(bob.ReadLine(), ":alice!~user@127.0.0.2 PRIVMSG bob :\x01VERSION\x01\r\n");
    const int64_t idleAfterCtcp = whoisIdleOfAlice();
    EXPECT_GE(idleAfterCtcp, 1);

    // A plain message renews it, even when it names no target.
    alice.Send("PRIVMSG :hi");
    ExpectNothingMore(alice);
    EXPECT_LT(whoisIdleOfAlice(), idleAfterCtcp);
}

TEST_F(QueriesTest, IsonListsThePresentAsStored) {
    alice.Send("ISON BOB nobody Carol bob");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 303 :bob carol bob\r\n");
    alice.Send("ISON nobody");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 303 :\r\n");
    alice.Send("ISON :bob carol");  // one trailing parameter is one name
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 303 :\r\n");
    alice.Send("ISON");
    EXPECT_EQ(alice.ReadLine(), ErrorLine("alice", TReply::NeedMoreParams, {"ISON"}));
}

TEST_F(QueriesTest, AwaySetsAndClearsTheAwayText) {
    const std::string setLine = ":TavoServer 306 :" + std::string(Texts::Away306) + "\r\n";
    const std::string clearedLine = ":TavoServer 305 :" + std::string(Texts::Away305) + "\r\n";
    const auto expectAwayReply = [this](const std::string& expected) {
        bob.Send("PRIVMSG alice :ping");
        alice.ReadUntil(" PRIVMSG alice ");
        EXPECT_EQ(bob.ReadLine(), expected);
    };

    alice.Send("AWAY :gone fishing");
    EXPECT_EQ(alice.ReadLine(), setLine);
    expectAwayReply(":TavoServer 301 bob alice :gone fishing\r\n");

    alice.Send("AWAY gone fishing");  // only the first word counts
    EXPECT_EQ(alice.ReadLine(), setLine);
    expectAwayReply(":TavoServer 301 bob alice :gone\r\n");

    alice.Send("AWAY");
    EXPECT_EQ(alice.ReadLine(), clearedLine);
    bob.Send("PRIVMSG alice :ping");
    alice.ReadUntil(" PRIVMSG alice ");
    ExpectNothingMore(bob);

    alice.Send("AWAY :");
    EXPECT_EQ(alice.ReadLine(), clearedLine);
}

TEST_F(QueriesTest, VersionPingAndPong) {
    alice.Send("VERSION whatever");
    EXPECT_EQ(alice.ReadLine(),
              ":TavoServer 351 alice TavoServerDaemon-0.652 TavoServer :TavoServerDaemon\r\n");
    alice.Send("PING anything :at all");
    EXPECT_EQ(alice.ReadLine(), kPong);
    alice.Send("PONG TavoServer");  // answered by nothing
    ExpectNothingMore(alice);
}

}  // namespace
