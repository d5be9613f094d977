// Tests of the registry: member lists, member flags, and finding a connection's user.
#include "core/HashTable.h"

#include <gtest/gtest.h>

namespace {

class Registry : public ::testing::Test {
  protected:
    TUserData* AddUser(std::string_view nick) {
        TUserData* user = Registry_.Users.Add();
        user->SetKeyWord(nick);
        return user;
    }
    TChannelData* AddChannel(std::string_view name) {
        TChannelData* channel = Registry_.Channels.Add();
        channel->SetKeyWord(name);
        return channel;
    }

    TClientData Registry_;
};

TEST_F(Registry, MembersAreFoundByNickIgnoringCaseButNotBlanks) {
    TUserData* alice = AddUser("Alice");
    TUserData* bob = AddUser("bob");
    TChannelData* channel = AddChannel("#Room");
    channel->AddMember(alice, 1);
    channel->AddMember(bob, 0x0100);

    EXPECT_EQ(channel->Members.IndexOf("aLICE"), 0);
    EXPECT_EQ(channel->Members.IndexOf("BOB"), 1);
    EXPECT_EQ(channel->Members.IndexOf("b ob"), -1);
    EXPECT_EQ(channel->FindMember("ALICE"), alice);
    EXPECT_EQ(channel->FindMember("carol"), nullptr);
    EXPECT_EQ(channel->MemberFlags("carol"), nullptr);

    const TMemberFlags* aliceFlags = channel->MemberFlags("alice");
    ASSERT_NE(aliceFlags, nullptr);
    EXPECT_NE(aliceFlags->ChanOp, 0);
    EXPECT_EQ(aliceFlags->Voice, 0);
    EXPECT_EQ(channel->Members.FlagsAt(1)->ChanOp, 0);
    EXPECT_NE(channel->Members.FlagsAt(1)->Voice, 0);
}

TEST_F(Registry, MemberIndexesOutsideTheListAnswerNull) {
    TChannelData* channel = AddChannel("#room");
    channel->AddMember(AddUser("alice"), 0);
    EXPECT_EQ(channel->MemberAt(channel->MemberCount()), nullptr);
    EXPECT_EQ(channel->MemberAt(-1), nullptr);
    EXPECT_EQ(channel->Members.FlagsAt(1), nullptr);
    channel->Members.Delete(1);
    EXPECT_EQ(channel->MemberCount(), 1);
}

TEST_F(Registry, FlagCellsStayValidWhileOtherMembersLeave) {
    TChannelData* channel = AddChannel("#room");
    channel->AddMember(AddUser("alice"), 1);
    TUserData* bob = AddUser("bob");
    channel->AddMember(bob, 0);
    TMemberFlags* bobFlags = channel->MemberFlags("bob");
    bobFlags->ChanOp = 1;

    channel->RemoveMember("ALICE");
    channel->RemoveMember("nobody");
    ASSERT_EQ(channel->MemberCount(), 1);
    EXPECT_EQ(channel->MemberAt(0), bob);
    EXPECT_EQ(channel->Members.FlagsAt(0), bobFlags);
    EXPECT_NE(bobFlags->ChanOp, 0);
}

TEST_F(Registry, UserChannelListKeepsJoinOrderAndIgnoresBadIndexes) {
    TUserData* alice = AddUser("alice");
    TChannelData* first = AddChannel("#b");
    TChannelData* second = AddChannel("#a");
    alice->AddChannel(first);
    alice->AddChannel(second);
    alice->DeleteChannel(2);
    alice->DeleteChannel(-1);
    ASSERT_EQ(alice->ChannelCount(), 2);
    EXPECT_EQ(alice->ChannelAt(0), first);
    alice->DeleteChannel(0);
    ASSERT_EQ(alice->ChannelCount(), 1);
    EXPECT_EQ(alice->ChannelAt(0), second);
}

TEST_F(Registry, UserOfConnectionComparesConnectionsOnly) {
    // Connections are only compared, never used, so addresses of two ints stand in for them.
    int firstConnection = 0;
    int secondConnection = 0;
    auto* first = reinterpret_cast<TConnection*>(&firstConnection);
    auto* second = reinterpret_cast<TConnection*>(&secondConnection);

    TUserData* keyless = Registry_.Users.Add();  // USER before NICK: no key yet
    keyless->Connection = first;
    AddUser("alice");  // a record whose connection is not set
    EXPECT_EQ(Registry_.UserOfConnection(first), keyless);
    EXPECT_EQ(Registry_.UserOfConnection(second), nullptr);
    EXPECT_EQ(Registry_.UserOfConnection(nullptr), nullptr);

    Registry_.DeleteUser(keyless);
    EXPECT_EQ(Registry_.UserOfConnection(first), nullptr);
    EXPECT_EQ(Registry_.Users.Count(), 1);
}

TEST_F(Registry, DeletedRecordsAreGoneFromTheirCollections) {
    TChannelData* channel = AddChannel("#room");
    AddChannel("#other");
    Registry_.DeleteChannel(channel);
    EXPECT_EQ(Registry_.Channels.Find("#ROOM"), nullptr);
    EXPECT_NE(Registry_.Channels.Find("#other"), nullptr);
    EXPECT_EQ(Registry_.Channels.Count(), 1);
}

}  // namespace
