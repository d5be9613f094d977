// Registration and dispatch against the running server: the welcome burst in both
// orders, the replies before registration, nickname and user-name rules, QUIT and
// the quits of connections that the server ends.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "JapaneseTexts.h"
#include "core/ConstructionUnit/NumericReplies.h"
#include "tests/support/Replies.h"
#include "tests/support/TestClient.h"
#include "tests/support/TestServer.h"

namespace {

std::vector<std::string> ExpectedWelcome(const std::string& nick, const std::string& user,
                                         const std::string& host, int others,
                                         const std::vector<std::string>& motd) {
    const std::string head = ":TavoServer ";
    std::vector<std::string> lines{head + "001 " + nick + " :" + std::string(Texts::Welcome001) +
                                       nick + "!~" + user + "@" + host + "\r\n",
                                   head + "002 " + nick + " :" +
                                       std::string(Texts::Welcome002Head) + "TavoServer" +
                                       std::string(Texts::Welcome002Tail) + "TavoServerDaemon\r\n",
                                   head + "251 " + nick + " :There are " + std::to_string(others) +
                                       " users and 0 services on 1 servers\r\n",
                                   head + "253 " + nick + " 1 :unknown connections\r\n",
                                   head + "254 " + nick + " 5 :Channels formed\r\n",
                                   head + "255 " + nick + " :I have " + std::to_string(others) +
                                       " clients, 0 services on 0 servers\r\n",
                                   head + "375 " + nick + " :- TavoServer Message of the Day\r\n",
                                   head + "372 " + nick + " :- <date>\r\n"};
    for (const auto& line : motd)
        lines.push_back(head + "372 " + nick + " :- " + line + "\r\n");
    lines.push_back(head + "376 " + nick + " :End of MOTD command\r\n");
    return lines;
}

// The date line "d/m/yyyy h:n" replaced by "<date>" after checking its form.
std::vector<std::string> WithDateMasked(std::vector<std::string> lines) {
    static const std::regex date(
        R"(^(:TavoServer 372 \S+ :- )\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d{1,2}\r\n$)");
    for (auto& line : lines) {
        if (std::regex_match(line, date)) {
            line = std::regex_replace(line, date, "$1<date>\r\n");
            break;
        }
    }
    return lines;
}

TSettings WithMotd() {
    TSettings settings;
    settings.MotdLines = {"first line", "", "third line"};
    return settings;
}

TEST(Registration, NickThenUserAndUserThenNickEndInTheSameWelcome) {
    TTestServer server(WithMotd());
    TTestClient alice(server.Port(), "127.0.0.2");
    alice.Send("NICK alice");
    EXPECT_FALSE(alice.ReadLine(150)) << "nothing before the pair is complete";
    alice.Send("USER alice host server :Alice Liddell");
    EXPECT_EQ(WithDateMasked(alice.ReadUntil(" 376 ")),
              ExpectedWelcome("alice", "alice", "127.0.0.2", 0, server.Core().Settings.MotdLines));

    TTestClient bob(server.Port(), "127.0.0.3");
    bob.Send("USER bob host server :Bob");
    EXPECT_FALSE(bob.ReadLine(150));
    bob.Send("NICK bob");
    EXPECT_EQ(WithDateMasked(bob.ReadUntil(" 376 ")),
              ExpectedWelcome("bob", "bob", "127.0.0.3", 1, server.Core().Settings.MotdLines));
}

TEST(Registration, EmptyMessageOfTheDayGivesTheDateLineOnly) {
    TTestServer server;
    TTestClient alice(server.Port(), "127.0.0.2");
    alice.Send("NICK alice");
    alice.Send("USER alice host server :Alice");
    EXPECT_EQ(WithDateMasked(alice.ReadUntil(" 376 ")),
              ExpectedWelcome("alice", "alice", "127.0.0.2", 0, {}));
}

TEST(Registration, RepliesBeforeRegistration) {
    TTestServer server;
    TTestClient client(server.Port(), "127.0.0.2");
    client.Send("FOO bar");
    EXPECT_EQ(client.ReadLine(), ":TavoServer 421  FOO :" + std::string(Texts::Err421) + "\r\n");
    client.Send("WHOWAS bob");
    EXPECT_EQ(client.ReadLine(), ErrorLine("", TReply::UnknownCommand, {"WHOWAS"}));
    for (const char* command : {"QUIT", "JOIN #a", "PRIVMSG bob :hi", "SUMMON bob"}) {
        client.Send(command);
        EXPECT_EQ(client.ReadLine(), ErrorLine("unknown", TReply::NotRegistered)) << command;
    }
    client.Send("NICK alice");
    client.Send("JOIN #a");
    EXPECT_EQ(client.ReadLine(), ErrorLine("alice", TReply::NotRegistered));
    client.Send("USER a b c");
    EXPECT_EQ(client.ReadLine(), ErrorLine("alice", TReply::NeedMoreParams, {"USER"}));
}

TEST(Registration, NicknameRules) {
    TTestServer server;
    TTestClient alice(server.Port(), "127.0.0.2");
    alice.Register("alice");
    TTestClient other(server.Port(), "127.0.0.3");
    other.Send("NICK");
    EXPECT_EQ(other.ReadLine(), ErrorLine("", TReply::NoNicknameGiven));
    for (const char* refused : {"abcdefghij", "a-b", "a@b", "a.b"}) {
        other.Send(std::string("NICK ") + refused);
        EXPECT_EQ(other.ReadLine(), ErrorLine("", TReply::ErroneousNickname, {refused}));
    }
    other.Send("NICK ALICE");
    EXPECT_EQ(other.ReadLine(), ErrorLine("", TReply::NicknameInUse, {"ALICE"}));
    other.Send("NICK 9abcdefgh");  // nine bytes, leading digit
    other.Send("NICK 9ABCDEFGH");  // its own name in another case is in use too
    EXPECT_EQ(other.ReadLine(), ErrorLine("", TReply::NicknameInUse, {"9ABCDEFGH"}));
    other.Send("USER u h s :r");
    const auto burst = other.ReadUntil(" 376 ");
    EXPECT_EQ(burst.front().substr(0, 27), ":TavoServer 001 9abcdefgh :");
    other.Send("NICK alice");  // "*" even when the connection has a nickname
    EXPECT_EQ(other.ReadLine(), ErrorLine("", TReply::NicknameInUse, {"alice"}));
}

TEST(Registration, UserCommandRules) {
    TTestServer server;
    TTestClient alice(server.Port(), "127.0.0.2");
    alice.Send("USER alice h s :Alice");
    alice.Send("USER again h s :Again");
    EXPECT_EQ(alice.ReadLine(), ErrorLine("", TReply::AlreadyRegistered));
    alice.Send("NICK alice");
    alice.ReadUntil(" 376 ");
    alice.Send("USER again h s :Again");
    EXPECT_EQ(alice.ReadLine(), ErrorLine("alice", TReply::AlreadyRegistered));

    TTestClient bad(server.Port(), "127.0.0.3");
    bad.Send("NICK bad");
    bad.Send(
        "USER b\x81\x40"
        "d h s :Bad");
    EXPECT_EQ(bad.ReadLine(), "ERROR :ClosingLink: bad[unknown@127.0.0.3]" +
                                  std::string(Texts::RefuseBadUserName) + "\r\n");
    EXPECT_TRUE(bad.WaitClosed());
}

TEST(Registration, SummonAndUsersAreNotSupported) {
    TTestServer server;
    TTestClient alice(server.Port(), "127.0.0.2");
    alice.Register("alice");
    alice.Send("SUMMON bob");
    EXPECT_EQ(alice.ReadLine(), ErrorLine("alice", TReply::SummonDisabled));
    alice.Send("USERS");
    EXPECT_EQ(alice.ReadLine(), ErrorLine("alice", TReply::UsersDisabled));
}

TEST(Registration, NickChangeReachesAMemberOfTwoSharedChannelsOnce) {
    TTestServer server;
    TTestClient alice(server.Port(), "127.0.0.2");
    TTestClient bob(server.Port(), "127.0.0.3");
    TTestClient loner(server.Port(), "127.0.0.4");
    alice.Register("alice");
    bob.Register("bob");
    loner.Register("loner");
    JoinInTurn({&alice, &bob}, "#one");
    JoinInTurn({&alice, &bob}, "#two");
    alice.Send("NICK alicia");
    const std::string line = ":alice!~user@127.0.0.2 NICK :alicia\r\n";
    EXPECT_EQ(bob.ReadLine(), line);
    ExpectNothingMore(bob);
    EXPECT_EQ(alice.ReadLine(), line);
    ExpectNothingMore(alice);
    loner.Send("NICK lonely");
    ExpectNothingMore(loner);  // a user in no channel gets no NICK line
    alice.Send("WHOIS alicia");
    EXPECT_EQ(alice.ReadLine().value_or("").substr(0, 28), ":TavoServer 311 alicia alici");
}

TEST(Registration, QuitIsAnnouncedToNeighboursWithItsReason) {
    TTestServer server;
    TTestClient alice(server.Port(), "127.0.0.2");
    TTestClient bob(server.Port(), "127.0.0.3");
    alice.Register("alice");
    bob.Register("bob");
    JoinInTurn({&alice, &bob}, "#a");
    alice.Send("QUIT :bye");
    EXPECT_EQ(alice.ReadLine(), "ERROR :ClosingLink: alice[~user@127.0.0.2] bye\r\n");
    EXPECT_TRUE(alice.WaitClosed());
    EXPECT_EQ(bob.ReadLine(), ":alice!~user@127.0.0.2 QUIT :bye\r\n");
    bob.Send("NAMES #a");
    EXPECT_EQ(bob.ReadLine(), ":TavoServer 353 bob = #a :bob\r\n");
}

TEST(Registration, ConnectionsEndedByTheServerAreAnnouncedThroughTheQuitBroadcast) {
    TSettings settings;
    settings.PingInterval = 1;
    TConnectionTimings timings;
    timings.WaitForDataMs = 50;
    TTestServer server(settings, timings);
    TTestClient watcher(server.Port(), "127.0.0.2");
    watcher.Register("watcher");
    JoinInTurn({&watcher}, "#a");
    watcher.Send("PONG");

    const auto announced = [&](std::string_view nick, std::string_view address,
                               std::string_view reason) {
        return ":" + std::string(nick) + "!~user@" + std::string(address) +
               " QUIT :" + std::string(reason) + "\r\n";
    };
    {
        TTestClient leaving(server.Port(), "127.0.0.3");
        leaving.Register("leaving");
        JoinInTurn({&leaving}, "#a");
    }  // end of stream
    EXPECT_EQ(watcher.ReadUntil(" QUIT ").back(),
              announced("leaving", "127.0.0.3", Texts::QuitEndOfStream));
    {
        TTestClient flooding(server.Port(), "127.0.0.4");
        flooding.Register("flooding");
        JoinInTurn({&flooding}, "#a");
        flooding.SendRaw(std::string(769, 'x'));
        EXPECT_TRUE(flooding.WaitClosed());
    }
    EXPECT_EQ(watcher.ReadUntil(" QUIT ").back(),
              announced("flooding", "127.0.0.4", Texts::QuitFlood));
    TTestClient silent(server.Port(), "127.0.0.5");
    silent.Register("silent");
    silent.Send("JOIN #a");
    // The watcher answers its own pings meanwhile; the silent client's departure is
    // the first QUIT it sees.
    std::string quit;
    while (quit.empty()) {
        const auto line = watcher.ReadLine();
        if (!line)
            break;
        if (line->rfind("PING", 0) == 0)
            watcher.Send("PONG");
        else if (line->find(" QUIT ") != std::string::npos)
            quit = *line;
    }
    EXPECT_EQ(quit, announced("silent", "127.0.0.5", Texts::QuitPingTimeOut));

    {
        TTestClient early(server.Port(), "127.0.0.6");  // leaves before NICK
        early.Send("USER early h s :r");
    }
    ASSERT_TRUE(server.WaitForEndedConnections(4));
    for (const auto& line : watcher.Drain(200)) {
        EXPECT_EQ(line.rfind("PING", 0), 0u) << "a client that left before NICK was announced";
    }
}

}  // namespace
