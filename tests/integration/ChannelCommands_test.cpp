// Channel commands against a running server: JOIN with its keys, bans, limits and
// invitations, the names listing on joining, PART, TOPIC, INVITE, KICK, NAMES and LIST,
// compared byte for byte as the clients receive them.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/ConstructionUnit/NumericReplies.h"
#include "core/HashTable.h"
#include "tests/support/TestClient.h"
#include "tests/support/TestServer.h"

namespace {

using Lines = std::vector<std::string>;

// An unknown command word: its 421 answer marks the end of what a client was sent before.
constexpr std::string_view Marker = "SYNCMARK";

class ChannelCommandsTest : public ::testing::Test {
  protected:
    // A registered client on its own loopback address 127.0.0.<2 + n>.
    TTestClient& Connect(const std::string& nick, const std::string& userName = "user") {
        const std::string address = "127.0.0." + std::to_string(2 + clients_.size());
        clients_.push_back(std::make_unique<TTestClient>(server_.Port(), address));
        clients_.back()->Register(nick, userName);
        return *clients_.back();
    }

    // Runs `change` on the registry under its lock, as a command handler would.
    void WithRegistry(const std::function<void(TClientData&)>& change) {
        TClientData& registry = server_.Core().Registry;
        std::lock_guard lock(registry.Lock);
        change(registry);
    }

    void WithChannel(const std::string& name, const std::function<void(TChannelData&)>& change) {
        WithRegistry([&](TClientData& registry) {
            TChannelData* channel = registry.Channels.Find(name);
            ASSERT_NE(channel, nullptr) << name;
            change(*channel);
        });
    }

    bool ChannelExists(const std::string& name) {
        bool exists = false;
        WithRegistry(
            [&](TClientData& registry) { exists = registry.Channels.Find(name) != nullptr; });
        return exists;
    }

    // Every line the client was sent before now, also by other connections' commands that
    // have been answered: a connection handles its lines in order, so the answer to a
    // marker sent now comes after all of them.
    static Lines Collect(TTestClient& client) {
        client.Send(Marker);
        Lines lines = client.ReadUntil(" " + std::string(Marker) + " :");
        if (!lines.empty())
            lines.pop_back();
        return lines;
    }

    // The client sends `command`; returns every line it receives in answer.
    static Lines Ask(TTestClient& client, const std::string& command) {
        client.Send(command);
        return Collect(client);
    }

    static std::string Error(const std::string& nick, TReply reply,
                             std::initializer_list<std::string_view> args) {
        return BuildReplyLine("TavoServer", nick, reply, args);
    }

    static Lines JoinLines(const std::string& prefix, const std::string& nick,
                           const std::string& channel, const std::string& names) {
        return {prefix + " JOIN :" + channel + "\r\n",
                ":TavoServer 353 " + nick + " = " + channel + " :" + names + "\r\n",
                ":TavoServer 366 " + nick + " " + channel + " :End of /NAMES list.\r\n"};
    }

    TTestServer server_;

  private:
    std::vector<std::unique_ptr<TTestClient>> clients_;
};

const std::string Alice = ":alice!~user@127.0.0.2";
const std::string Bob = ":bob!~user@127.0.0.3";

TEST_F(ChannelCommandsTest, CreatorAndLaterJoinersSeeStoredNameAndMembers) {
    TTestClient& alice = Connect("alice");
    TTestClient& bob = Connect("bob");

    EXPECT_EQ(Ask(alice, "JOIN #chat"), JoinLines(Alice, "alice", "#chat", "@alice"));
    // A name differing only in letter case finds the channel; replies show the stored name.
    EXPECT_EQ(Ask(bob, "JOIN #Chat"), JoinLines(Bob, "bob", "#chat", "@alice bob"));
    EXPECT_EQ(Collect(alice), Lines{Bob + " JOIN :#chat\r\n"});
    EXPECT_EQ(Ask(bob, "JOIN #CHAT"), Lines{}) << "a member joining again gets nothing";

    // A comma is an ordinary byte of a channel name.
    EXPECT_EQ(Ask(bob, "JOIN #a,#b"), JoinLines(Bob, "bob", "#a,#b", "@bob"));
    EXPECT_FALSE(ChannelExists("#a"));

    EXPECT_EQ(Ask(bob, "JOIN"), Lines{Error("bob", TReply::NeedMoreParams, {"JOIN"})});
    EXPECT_EQ(Ask(bob, "JOIN :#x"), Lines{Error("bob", TReply::NoSuchChannel, {":#x"})});
    EXPECT_EQ(Ask(bob, "JOIN x #y"), Lines{Error("bob", TReply::NoSuchChannel, {"x"})});
    EXPECT_FALSE(ChannelExists("#y")) << "a first parameter that is no channel ends the command";
}

TEST_F(ChannelCommandsTest, KeysFollowTheChannelNamesInOrder) {
    TTestClient& alice = Connect("alice");
    TTestClient& bob = Connect("bob");
    Ask(alice, "JOIN #a #b #open");
    WithChannel("#a", [](TChannelData& channel) { channel.Key = "k1"; });
    WithChannel("#b", [](TChannelData& channel) { channel.Key = "k2"; });

    EXPECT_EQ(Ask(bob, "JOIN #a #b k2 k1"), (Lines{Error("bob", TReply::BadChannelKey, {"#a"}),
                                                   Error("bob", TReply::BadChannelKey, {"#b"})}));
    EXPECT_EQ(Ask(bob, "JOIN #A"), Lines{Error("bob", TReply::BadChannelKey, {"#A"})})
        << "no key for a channel with a key";
    EXPECT_EQ(Ask(bob, "JOIN #open k"), Lines{Error("bob", TReply::BadChannelKey, {"#open"})})
        << "a key for a channel without one";

    Lines expected = JoinLines(Bob, "bob", "#a", "@alice bob");
    const Lines second = JoinLines(Bob, "bob", "#b", "@alice bob");
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(Ask(bob, "JOIN #a #b k1 k2"), expected);
}

TEST_F(ChannelCommandsTest, KeyPositionsBeyondTheLastParameterAreEmpty) {
    TTestClient& alice = Connect("alice");
    TTestClient& bob = Connect("bob");
    // Eight channels and seven keys fill the fifteen parameters; the eighth channel's key
    // would be the sixteenth.
    std::string channels, keys;
    for (int i = 1; i <= 8; ++i)
        channels += " #c" + std::to_string(i);
    for (int i = 1; i <= 7; ++i)
        keys += " k" + std::to_string(i);
    Ask(alice, "JOIN" + channels);
    WithRegistry([](TClientData& registry) {
        for (int i = 1; i <= 7; ++i) {
            registry.Channels.Find("#c" + std::to_string(i))->Key = "k" + std::to_string(i);
        }
    });

    const Lines joined = Ask(bob, "JOIN" + channels + keys);
    ASSERT_EQ(joined.size(), 8u * 3);
    EXPECT_EQ(joined[21], Bob + " JOIN :#c8\r\n");

    Ask(bob, "PART #c8");
    WithChannel("#c8", [](TChannelData& channel) { channel.Key = "k8"; });
    const Lines refused = Ask(bob, "JOIN" + channels + keys);
    EXPECT_EQ(refused, Lines{Error("bob", TReply::BadChannelKey, {"#c8"})});
}

TEST_F(ChannelCommandsTest, RefusalsComeInTheirOrderAndConcernOneChannelEach) {
    TTestClient& alice = Connect("alice");
    TTestClient& bob = Connect("bob");
    TTestClient& carol = Connect("carol");
    Ask(alice, "JOIN #keyed #full #closed");
    WithChannel("#keyed", [](TChannelData& channel) {
        channel.Key = "secret";
        channel.Bans = {"*!*@127.0.0.3"};
    });
    EXPECT_EQ(Ask(bob, "JOIN #keyed wrong"),
              Lines{Error("bob", TReply::BadChannelKey, {"#keyed"})});
    EXPECT_EQ(Ask(bob, "JOIN #KEYED secret"),
              Lines{Error("bob", TReply::BannedFromChannel, {"#keyed"})})
        << "474 names the channel as stored";

    // The limit holds for an invited user too; the invitation lifts only invite-only.
    WithChannel("#full", [](TChannelData& channel) {
        channel.Limit = 2;
        channel.InviteOnly = true;
    });
    Ask(alice, "INVITE bob #full");
    Ask(alice, "INVITE carol #full");
    Collect(bob);
    Collect(carol);
    EXPECT_EQ(Ask(bob, "JOIN #full"), JoinLines(Bob, "bob", "#full", "@alice bob"));
    EXPECT_EQ(Ask(carol, "JOIN #Full"), Lines{Error("carol", TReply::ChannelIsFull, {"#Full"})});

    // A refused channel does not stop the next one of the same JOIN.
    WithChannel("#closed", [](TChannelData& channel) { channel.InviteOnly = true; });
    Lines expected{Error("carol", TReply::InviteOnlyChannel, {"#closed"})};
    const Lines joinedNext = JoinLines(":carol!~user@127.0.0.4", "carol", "#next", "@carol");
    expected.insert(expected.end(), joinedNext.begin(), joinedNext.end());
    EXPECT_EQ(Ask(carol, "JOIN #closed #next"), expected);
}

TEST_F(ChannelCommandsTest, BanMasksCompareEachPartExactly) {
    TTestClient& alice = Connect("alice");
    TTestClient& bob = Connect("bob", "bob");
    Ask(alice, "JOIN #a");
    const std::string bobJoins = ":bob!~bob@127.0.0.3 JOIN :#a\r\n";
    const std::string banned = Error("bob", TReply::BannedFromChannel, {"#a"});

    // The user part stands for "~" + user name; case matters; "*" only as a whole part.
    for (const char* harmless : {"bob!bob@127.0.0.3", "BOB!~bob@127.0.0.3", "b*!~bob@127.0.0.3",
                                 "bob!~bob@127.0.0.*", "bob@127.0.0.3", "bob!~bob", "*"}) {
        WithChannel("#a", [&](TChannelData& channel) { channel.Bans = {harmless}; });
        const Lines answer = Ask(bob, "JOIN #a");
        ASSERT_FALSE(answer.empty()) << harmless;
        EXPECT_EQ(answer.front(), bobJoins) << harmless;
        Ask(bob, "PART #a");
    }
    for (const char* matching : {"bob!~bob@127.0.0.3", "*!*@127.0.0.3", "*!~bob@*", "bob!*@*"}) {
        WithChannel("#a", [&](TChannelData& channel) { channel.Bans = {"nobody!*@*", matching}; });
        EXPECT_EQ(Ask(bob, "JOIN #a"), Lines{banned}) << matching;
    }
}

TEST_F(ChannelCommandsTest, NameThatOnlyTrailingControlBytesSetApart) {
    TTestClient& alice = Connect("alice");
    Ask(alice, "JOIN #a");
    EXPECT_EQ(Ask(alice, "JOIN #a\x01"), Lines{Error("alice", TReply::NoSuchChannel, {"#a\x01"})});
    // A new name is stored without its trailing control bytes.
    EXPECT_EQ(Ask(alice, "JOIN #b\x02"), JoinLines(Alice, "alice", "#b", "@alice"));
    WithRegistry([](TClientData& registry) {
        ASSERT_EQ(registry.Channels.Count(), 2);
        for (int i = 0; i < registry.Channels.Count(); ++i) {
            EXPECT_FALSE(registry.Channels.At(i)->KeyWord().empty());
            EXPECT_EQ(registry.Channels.At(i)->MemberCount(), 1);
        }
    });
}

// Fills "#big" so that the names part of the first 353 line on joining ends exactly where
// the 500-byte test allows: 491 bytes, then a blank, "@" and a 9-byte nickname.
class NamesSplitTest : public ChannelCommandsTest {
  protected:
    void SetUp() override {
        alice_ = &Connect("alice");
        Ask(*alice_, "JOIN #big");
        WithRegistry([&](TClientData& registry) {
            TChannelData& channel = *registry.Channels.Find("#big");
            for (int i = 1; i <= 48; ++i)
                AddFake(registry, channel, Numbered(i), 0);
            AddFake(registry, channel, "abcd", 0);       // names part now 491 bytes
            AddFake(registry, channel, "opmember1", 1);  // still fits: 491 + 9 = 500
            for (int i = 49; i <= 60; ++i)
                AddFake(registry, channel, Numbered(i), 0);
        });
    }

    static std::string Numbered(int i) {
        const std::string digits = std::to_string(i);
        return "member" + std::string(3 - digits.size(), '0') + digits;
    }

    // A member without a connection, which fan-outs pass over.
    static void AddFake(TClientData& registry, TChannelData& channel, const std::string& nick,
                        uint16_t flags) {
        TUserData* user = registry.Users.Add();
        user->SetKeyWord(nick);
        user->UserName = "fake";
        channel.AddMember(user, flags);
        user->AddChannel(&channel);
    }

    static std::string Joined(int from, int to) {
        std::string names;
        for (int i = from; i <= to; ++i)
            names += (names.empty() ? "" : " ") + Numbered(i);
        return names;
    }

    TTestClient* alice_ = nullptr;
};

TEST_F(NamesSplitTest, JoinSplitsNamesWithFullHeadersAndNamesSendsOneLine) {
    TTestClient& bob = Connect("bob");
    const std::string head = ":TavoServer 353 bob = #big :";
    const std::string firstPart = "@alice " + Joined(1, 48) + " abcd @opmember1";
    const std::string secondPart = Joined(49, 60) + " bob";
    ASSERT_EQ(firstPart.size(), 502u);

    EXPECT_EQ(Ask(bob, "JOIN #big"),
              (Lines{Bob + " JOIN :#big\r\n", head + firstPart + "\r\n", head + secondPart + "\r\n",
                     ":TavoServer 366 bob #big :End of /NAMES list.\r\n"}));
    EXPECT_EQ(Collect(*alice_), Lines{Bob + " JOIN :#big\r\n"});

    const std::string everyone = head + firstPart + " " + secondPart + "\r\n";
    const std::string endOfNames = ":TavoServer 366 bob * :End of /Names list\r\n";
    EXPECT_EQ(Ask(bob, "NAMES #big"), (Lines{everyone, endOfNames}));

    // An invisible member is shown to members only.
    WithRegistry([](TClientData& registry) { registry.Users.Find("member001")->Invisible = true; });
    TTestClient& carol = Connect("carol");
    std::string withoutInvisible = everyone;
    withoutInvisible.replace(withoutInvisible.find(" member001"), 10, "");
    withoutInvisible.replace(withoutInvisible.find(" bob = "), 4, " carol");
    const Lines carolSees = Ask(carol, "NAMES #big");
    ASSERT_EQ(carolSees.size(), 2u);
    EXPECT_EQ(carolSees[0], withoutInvisible);
    EXPECT_EQ(Ask(bob, "NAMES #big").front(), everyone);
}

TEST_F(ChannelCommandsTest, PartStopsAtTheFirstRefusalAndTakesEveryParameterAsChannel) {
    TTestClient& alice = Connect("alice");
    TTestClient& bob = Connect("bob");
    Ask(bob, "JOIN #b");
    Ask(alice, "JOIN #a #c #b");
    Collect(bob);
    Ask(alice, "PART #b");
    EXPECT_EQ(Collect(bob), Lines{Alice + " PART #b :alice\r\n"}) << "members are told";

    EXPECT_EQ(Ask(alice, "PART #a #b #c"),
              (Lines{Alice + " PART #a :alice\r\n",
                     Error("alice", TReply::NotOnChannel, {"alice", "#b"})}));
    EXPECT_FALSE(ChannelExists("#a")) << "the last member's leaving deletes the channel";
    EXPECT_TRUE(ChannelExists("#c")) << "channels after the refusal are not left";

    EXPECT_EQ(Ask(alice, "PART #C :bye"), (Lines{Alice + " PART #c :alice\r\n",
                                                 Error("alice", TReply::NoSuchChannel, {":bye"})}));
    EXPECT_EQ(Ask(alice, "PART"), Lines{Error("alice", TReply::NeedMoreParams, {"PART"})});
}

TEST_F(ChannelCommandsTest, KickTellsEveryoneIncludingTheTarget) {
    TTestClient& alice = Connect("alice");
    TTestClient& bob = Connect("bob");
    TTestClient& carol = Connect("carol");
    Ask(alice, "JOIN #a");
    Ask(bob, "JOIN #a");
    Collect(alice);

    const std::string kickWithComment = Alice + " KICK #a bob :go away\r\n";
    EXPECT_EQ(Ask(alice, "KICK #A BOB :go away"), Lines{kickWithComment});
    EXPECT_EQ(Collect(bob), Lines{kickWithComment});
    EXPECT_EQ(Ask(alice, "KICK #a bob"),
              Lines{Error("alice", TReply::UserNotInChannel, {"bob", "#a"})});

    Ask(bob, "JOIN #a");
    Collect(alice);
    EXPECT_EQ(Ask(bob, "KICK #a alice"),
              Lines{Error("bob", TReply::ChanOpPrivilegesNeeded, {"#a"})});
    EXPECT_EQ(Ask(carol, "KICK #a bob"),
              Lines{Error("carol", TReply::NotOnChannel, {"carol", "#a"})});
    EXPECT_EQ(Ask(alice, "KICK #nope bob"), Lines{Error("alice", TReply::NoSuchNick, {"#nope"})});
    EXPECT_EQ(Ask(alice, "KICK #a nobody"), Lines{Error("alice", TReply::NoSuchNick, {"nobody"})});
    EXPECT_EQ(Ask(alice, "KICK #a"), Lines{Error("alice", TReply::NeedMoreParams, {"KICK"})});

    EXPECT_EQ(Ask(alice, "KICK #a bob"), Lines{Alice + " KICK #a bob :\r\n"});
    EXPECT_EQ(Collect(bob), Lines{Alice + " KICK #a bob :\r\n"});
    EXPECT_EQ(Ask(alice, "KICK #a alice"), Lines{Alice + " KICK #a alice :\r\n"});
    EXPECT_FALSE(ChannelExists("#a"));
}

TEST_F(ChannelCommandsTest, TopicQuerySetLockAndClear) {
    TTestClient& alice = Connect("alice");
    TTestClient& bob = Connect("bob");
    TTestClient& carol = Connect("carol");
    Ask(alice, "JOIN #a");
    Ask(bob, "JOIN #a");
    Collect(alice);

    EXPECT_EQ(Ask(carol, "TOPIC #A"), Lines{":TavoServer 331 carol #a :No Topic is Set\r\n"});
    const std::string topicLine = Alice + " TOPIC #a :hello: world\r\n";
    EXPECT_EQ(Ask(alice, "TOPIC #a :hello: world"), Lines{topicLine});
    EXPECT_EQ(Collect(bob), Lines{topicLine});
    EXPECT_EQ(Ask(carol, "TOPIC #a"), Lines{":TavoServer 332 carol #a :hello: world\r\n"});
    EXPECT_EQ(Ask(carol, "TOPIC #a :mine"),
              Lines{Error("carol", TReply::NotOnChannel, {"carol", "#a"})});

    WithChannel("#a", [](TChannelData& channel) { channel.TopicLocked = true; });
    EXPECT_EQ(Ask(bob, "TOPIC #a :mine"),
              Lines{Error("bob", TReply::ChanOpPrivilegesNeeded, {"#a"})});
    WithChannel("#a", [](TChannelData& channel) { channel.TopicLocked = false; });
    EXPECT_EQ(Ask(bob, "TOPIC #a :"), Lines{Bob + " TOPIC #a :\r\n"});
    EXPECT_EQ(Ask(carol, "TOPIC #a"), Lines{":TavoServer 331 carol #a :No Topic is Set\r\n"});

    EXPECT_EQ(Ask(carol, "TOPIC #nope"), Lines{Error("carol", TReply::NoSuchChannel, {"#nope"})});
    EXPECT_EQ(Ask(carol, "TOPIC"), Lines{Error("carol", TReply::NeedMoreParams, {"TOPIC"})});
}

TEST_F(ChannelCommandsTest, InviteRecordsTheInvitationAndChecksInOrder) {
    TTestClient& alice = Connect("alice");
    TTestClient& bob = Connect("bob");
    TTestClient& carol = Connect("carol");
    Ask(alice, "JOIN #a");
    Ask(bob, "JOIN #a");
    Collect(alice);

    EXPECT_EQ(Ask(alice, "INVITE bob #nochannel"),
              Lines{Error("alice", TReply::NoSuchNick, {"#nochannel"})});
    EXPECT_EQ(Ask(alice, "INVITE nobody #a"),
              Lines{Error("alice", TReply::NoSuchNick, {"nobody"})});
    EXPECT_EQ(Ask(alice, "INVITE BOB #a"),
              Lines{Error("alice", TReply::UserOnChannel, {"bob", "#a"})});
    EXPECT_EQ(Ask(carol, "INVITE carol #a"),
              Lines{Error("carol", TReply::NotOnChannel, {"carol", "#a"})});
    EXPECT_EQ(Ask(alice, "INVITE carol"),
              Lines{Error("alice", TReply::NeedMoreParams, {"INVITE"})});

    // Any member may invite while the channel is not invite-only.
    EXPECT_EQ(Ask(bob, "INVITE Carol #A"), Lines{":TavoServer 341 bob #a carol\r\n"});
    EXPECT_EQ(Collect(carol), Lines{Bob + " INVITE carol #a\r\n"});
    WithChannel("#a", [](TChannelData& channel) { channel.InviteOnly = true; });
    EXPECT_EQ(Ask(bob, "INVITE carol #a"),
              Lines{Error("bob", TReply::ChanOpPrivilegesNeeded, {"#a"})});
    EXPECT_EQ(Ask(alice, "INVITE carol #a"), Lines{":TavoServer 341 alice #a carol\r\n"});
    Collect(carol);
    WithRegistry([](TClientData& registry) {
        EXPECT_EQ(registry.Users.Find("carol")->Invitations, std::vector<std::string>{"#a"});
    });
    EXPECT_EQ(Ask(carol, "JOIN #a"),
              JoinLines(":carol!~user@127.0.0.4", "carol", "#a", "@alice bob carol"));
}

TEST_F(ChannelCommandsTest, NamesWithoutParametersListsVisibleChannelsAndLoneUsers) {
    TTestClient& alice = Connect("alice");
    TTestClient& bob = Connect("bob");
    TTestClient& carol = Connect("carol");
    TTestClient& dave = Connect("dave");
    TTestClient& erin = Connect("erin");
    Ask(alice, "JOIN #pub");
    Ask(bob, "JOIN #priv");
    Ask(carol, "JOIN #sec");
    WithChannel("#priv", [](TChannelData& channel) { channel.Private = true; });
    WithChannel("#sec", [](TChannelData& channel) { channel.Secret = true; });
    WithRegistry([](TClientData& registry) { registry.Users.Find("erin")->Invisible = true; });

    const std::string endOfNames = " * :End of /Names list\r\n";
    EXPECT_EQ(
        Ask(dave, "NAMES"),
        (Lines{":TavoServer 353 dave = * :@bob\r\n", ":TavoServer 353 dave = #pub :@alice\r\n",
               ":TavoServer 353 dave * * :dave\r\n", ":TavoServer 366 dave" + endOfNames}));
    const Lines erinSees = Ask(erin, "NAMES");
    ASSERT_EQ(erinSees.size(), 4u);
    EXPECT_EQ(erinSees[2], ":TavoServer 353 erin * * :dave erin\r\n");

    // Named explicitly, a secret channel is listed; an unknown name does not stop the rest.
    EXPECT_EQ(Ask(dave, "NAMES #nope #SEC"), (Lines{Error("dave", TReply::NoSuchChannel, {"#nope"}),
                                                    ":TavoServer 353 dave = #sec :@carol\r\n",
                                                    ":TavoServer 366 dave" + endOfNames}));

    Ask(alice, "PART #pub");
    Ask(dave, "JOIN #pub");
    EXPECT_EQ(Ask(dave, "NAMES"),
              (Lines{":TavoServer 353 dave = * :@bob\r\n", ":TavoServer 353 dave = #pub :@dave\r\n",
                     ":TavoServer 353 dave * * :alice\r\n", ":TavoServer 366 dave" + endOfNames}));
}

TEST_F(ChannelCommandsTest, ListShowsCountsAndTopicsButNoSecretChannel) {
    TTestClient& alice = Connect("alice");
    TTestClient& bob = Connect("bob");
    const std::string endOfList = ":TavoServer 323 alice :End of /List\r\n";
    EXPECT_EQ(Ask(alice, "LIST #nope"), Lines{endOfList}) << "no channel, no 403";

    Ask(alice, "JOIN #pub #priv #sec");
    Ask(bob, "JOIN #pub");
    Ask(alice, "TOPIC #pub :news");
    WithChannel("#priv", [](TChannelData& channel) { channel.Private = true; });
    WithChannel("#sec", [](TChannelData& channel) { channel.Secret = true; });
    Collect(alice);

    EXPECT_EQ(Ask(alice, "LIST"), (Lines{":TavoServer 322 alice * 1 :\r\n",
                                         ":TavoServer 322 alice #pub 2 :news\r\n", endOfList}));
    EXPECT_EQ(Ask(alice, "LIST #sec"), Lines{endOfList});
    EXPECT_EQ(Ask(alice, "LIST #PUB #nope"),
              (Lines{":TavoServer 322 alice #PUB 2 :news\r\n",
                     Error("alice", TReply::NoSuchChannel, {"#nope"}), endOfList}));
}

}  // namespace
