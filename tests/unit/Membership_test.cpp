// Membership on the registry itself: identity of members, leaving a channel (its
// invitation and, with the last member, the channel go too).
#include "core/ConstructionUnit/Membership.h"
#include "core/ConstructionUnit/FanOut.h"

#include <gtest/gtest.h>

namespace {

struct MembershipTest : ::testing::Test {
    TClientData registry;

    TUserData& User(const std::string& nick) {
        TUserData* user = registry.Users.Add();
        user->SetKeyWord(nick);
        user->UserName = nick;
        user->Host = "host";
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
};

TEST_F(MembershipTest, MembersAreRecognisedByRecordNotByName) {
    TUserData& bob = User("bob");
    TChannelData& room = Channel("#room");
    Join(bob, room);
    TClientData other;
    TUserData* impostor = other.Users.Add();
    impostor->SetKeyWord("BOB");
    EXPECT_TRUE(IsMember(room, bob));
    EXPECT_FALSE(IsMember(room, *impostor));
    EXPECT_EQ(UserPrefix(bob), ":bob!~bob@host");
}

TEST_F(MembershipTest, LeavingDropsTheInvitationAndTheLastMemberDeletesTheChannel) {
    TUserData& alice = User("alice");
    TUserData& bob = User("bob");
    TChannelData& room = Channel("#Room");
    TChannelData& hall = Channel("#hall");
    Join(alice, room);
    Join(bob, room);
    Join(bob, hall);
    bob.Invitations = {"#ROOM", "#hall", "#elsewhere"};

    LeaveChannel(registry, bob, room);
    EXPECT_FALSE(IsMember(room, bob));
    EXPECT_EQ(bob.Channels, std::vector<TChannelData*>{&hall});
    EXPECT_EQ(bob.Invitations, (std::vector<std::string>{"#hall", "#elsewhere"}));
    EXPECT_NE(registry.Channels.Find("#room"), nullptr) << "alice is still there";

    LeaveChannel(registry, alice, room);
    EXPECT_EQ(registry.Channels.Find("#room"), nullptr) << "an empty channel is deleted";
    EXPECT_EQ(registry.Channels.Count(), 1);
    EXPECT_TRUE(alice.Channels.empty());
}

}  // namespace
