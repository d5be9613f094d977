// The registry's consistency checks: a consistent registry passes, and registries
// broken by hand in one way each have exactly that fault reported.
#include "tests/support/RegistryInvariants.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/ClientThread.h"
#include "core/ServerCore.h"

namespace {

using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

class TIdleHost : public IServerHost {
  public:
    int ActiveThreads() const override { return 0; }
    int ActiveConnections() const override { return 0; }
    void ShowError(std::string_view) override {}
};

struct RegistryInvariantsTest : ::testing::Test {
    TIdleHost host;
    TServerCore core{TSettings{}, host, "no-such-program"};
    TClientData& registry = core.Registry;
    std::vector<std::unique_ptr<TClientThread>> connections;
    std::set<const TConnection*> live;

    TClientThread* NewConnection() {
        connections.push_back(std::make_unique<TClientThread>(core));
        live.insert(connections.back().get());
        return connections.back().get();
    }
    TUserData& User(const std::string& nick) {
        TUserData* user = registry.Users.Add();
        if (!nick.empty())
            user->SetKeyWord(nick);
        user->Connection = NewConnection();
        return *user;
    }
    TChannelData& Channel(const std::string& name) {
        TChannelData* channel = registry.Channels.Add();
        channel->SetKeyWord(name);
        return *channel;
    }
    void Join(TUserData& user, TChannelData& channel) {
        channel.AddMember(&user, 0);
        user.AddChannel(&channel);
    }
    std::vector<std::string> Faults() { return RegistryFaults(registry, live); }
};

TEST_F(RegistryInvariantsTest, AConsistentRegistryHasNoFaults) {
    TUserData& bob = User("bob");
    TUserData& alice = User("Alice");
    User("");  // USER before NICK: keyless, at the end, in no channel
    TChannelData& a = Channel("#a");
    TChannelData& b = Channel("&B");
    Join(bob, a);
    Join(alice, a);
    Join(bob, b);
    EXPECT_THAT(Faults(), IsEmpty());

    // The lock is re-entrant: a caller that holds it may check too.
    std::lock_guard lock(registry.Lock);
    EXPECT_THAT(Faults(), IsEmpty());
}

TEST_F(RegistryInvariantsTest, MembershipMustHoldInBothDirections) {
    TUserData& bob = User("bob");
    TUserData& eve = User("eve");
    TChannelData& a = Channel("#a");
    TChannelData& b = Channel("#b");
    a.AddMember(&bob, 0);  // bob does not list #a
    eve.AddChannel(&b);    // #b does not have eve
    b.AddMember(&bob, 0);
    bob.AddChannel(&b);
    EXPECT_THAT(Faults(), ElementsAre(AllOf(HasSubstr("channel \"#a\", member \"bob\""),
                                            HasSubstr("lists the channel 0 times")),
                                      AllOf(HasSubstr("user \"eve\" lists channel \"#b\""),
                                            HasSubstr("0 times among its members"))));
}

TEST_F(RegistryInvariantsTest, AMemberListedTwiceIsReportedOnceFromEachSide) {
    TUserData& bob = User("bob");
    TChannelData& a = Channel("#a");
    Join(bob, a);
    a.AddMember(&bob, 0);
    EXPECT_THAT(Faults(),
                ElementsAre(HasSubstr("member \"bob\" stands 2 times in the member list"),
                            HasSubstr("user \"bob\" lists channel \"#a\" but is 2 times")));

    a.RemoveMember("bob");
    bob.AddChannel(&a);  // now once in the list, twice in bob's channels
    EXPECT_THAT(Faults(), ElementsAre(HasSubstr("member \"bob\" lists the channel 2 times")));
}

TEST_F(RegistryInvariantsTest, ChannelsNeedMembersThatAreRecordsOfTheRegistry) {
    Channel("#empty");
    TClientData elsewhere;
    TUserData* stranger = elsewhere.Users.Add();
    stranger->SetKeyWord("stranger");
    TChannelData& a = Channel("#a");
    a.AddMember(stranger, 0);
    TUserData& bob = User("bob");
    TChannelData* gone = elsewhere.Channels.Add();
    gone->SetKeyWord("#gone");
    bob.AddChannel(gone);
    EXPECT_THAT(Faults(),
                ElementsAre(HasSubstr("channel \"#a\" has a member that is no user record"),
                            HasSubstr("channel \"#empty\" has no members"),
                            HasSubstr("user \"bob\" lists a channel that does not exist")));
}

TEST_F(RegistryInvariantsTest, AMemberWithoutANicknameIsReported) {
    TUserData& nameless = User("");
    TChannelData& a = Channel("#a");
    Join(nameless, a);
    EXPECT_THAT(Faults(), ElementsAre("channel \"#a\" has a member without a nickname"));
}

TEST_F(RegistryInvariantsTest, EveryRecordRefersToItsOwnLiveConnection) {
    User("bob");
    TUserData& eve = User("eve");
    TUserData& mallory = User("mallory");
    TUserData& nobody = User("nobody");
    live.erase(eve.Connection);
    mallory.Connection = registry.Users.Find("bob")->Connection;
    nobody.Connection = nullptr;
    EXPECT_THAT(Faults(),
                ElementsAre(HasSubstr("user \"eve\" refers to a connection that has ended"),
                            HasSubstr("user \"mallory\" shares its connection"),
                            HasSubstr("user \"nobody\" has no connection")));
}

TEST_F(RegistryInvariantsTest, WhatOneClientMakesTheServerKeepStaysWithinItsBounds) {
    TUserData& bob = User("bob");
    TChannelData& a = Channel("#a");
    Join(bob, a);
    a.Bans.assign(TChannelData::kMaxBans, "*!*@*");
    a.Topic.assign(TChannelData::kMaxTopicBytes, 't');
    bob.Invitations.assign(TUserData::kMaxInvitations, "#b");
    EXPECT_THAT(Faults(), IsEmpty()) << "every bound reached, none passed";

    a.Bans.emplace_back("x!*@*");
    a.Topic += 't';
    bob.Invitations.emplace_back("#c");
    EXPECT_THAT(
        Faults(),
        ElementsAre(HasSubstr(std::to_string(TChannelData::kMaxBans + 1) + " ban masks"),
                    HasSubstr(std::to_string(TChannelData::kMaxTopicBytes + 1) + " bytes"),
                    HasSubstr(std::to_string(TUserData::kMaxInvitations + 1) + " invitations")));
}

TEST_F(RegistryInvariantsTest, AUserInMoreChannelsThanItsBoundIsReported) {
    TUserData& bob = User("bob");
    for (std::size_t i = 0; i <= TUserData::kMaxChannels; ++i)
        Join(bob, Channel("#c" + std::to_string(i)));
    EXPECT_THAT(Faults(), ElementsAre("user \"bob\" is in " +
                                      std::to_string(TUserData::kMaxChannels + 1) + " channels"));
}

TEST(KeyOrderFaults, NamedKeysInAscendingOrderThenKeylessOnesPass) {
    EXPECT_THAT(KeyOrderFaults({}, "user"), IsEmpty());
    EXPECT_THAT(KeyOrderFaults({"Ann", "bob", "CARL", "", ""}, "user"), IsEmpty());
}

TEST(KeyOrderFaults, ItemsOutOfOrderAreNamed) {
    EXPECT_THAT(KeyOrderFaults({"ann", "carl", "bob"}, "user"),
                ElementsAre("user \"carl\" stands before \"bob\", out of key order"));
    // Letter case does not order keys: "B" and "b" are the same letter.
    EXPECT_THAT(KeyOrderFaults({"b", "A"}, "channel"),
                ElementsAre("channel \"b\" stands before \"A\", out of key order"));
}

TEST(KeyOrderFaults, TheSameKeyIgnoringCaseAndBlanksIsADuplicate) {
    EXPECT_THAT(KeyOrderFaults({"bob", "B O B"}, "user"),
                ElementsAre("user \"B O B\" has the same key as another one"));
    // A full-width blank (0x81 0x40) counts as a blank too.
    EXPECT_THAT(KeyOrderFaults({"#ab",
                                "#a\x81\x40"
                                "b"},
                               "channel"),
                ElementsAre(HasSubstr("has the same key as another one")));
}

TEST(KeyOrderFaults, AKeylessItemBeforeANamedOneDisturbsSearches) {
    EXPECT_THAT(KeyOrderFaults({"ann", "", "bob"}, "user"),
                ElementsAre("user \"bob\" stands behind an item without a key"));
}

}  // namespace
