// PRIVMSG and NOTICE through a real server: targets, refusals, away replies and the
// channel modes that decide who may speak.
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "core/ConstructionUnit/NumericReplies.h"
#include "tests/support/Replies.h"
#include "tests/support/TestClient.h"
#include "tests/support/TestServer.h"

namespace {

const std::string kAlice = ":alice!~user@127.0.0.2";
const std::string kBob = ":bob!~user@127.0.0.3";
const std::string kCarol = ":carol!~user@127.0.0.4";
class MessagingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        alice.Register("alice");
        bob.Register("bob");
        carol.Register("carol");
    }

    // alice creates #room (and is its operator), then bob joins it.
    void MakeRoomOfAliceAndBob() {
        alice.Send("JOIN #room");
        alice.ReadUntil(" 366 ");
        bob.Send("JOIN #room");
        bob.ReadUntil(" 366 ");
        alice.ReadUntil(kBob + " JOIN ");
    }

    template <class Change>
    void ChangeChannel(const std::string& name, Change change) {
        TClientData& registry = server.Core().Registry;
        std::lock_guard lock(registry.Lock);
        TChannelData* channel = registry.Channels.Find(name);
        ASSERT_NE(channel, nullptr);
        change(*channel);
    }

    TTestServer server;
    TTestClient alice{server.Port(), "127.0.0.2"};
    TTestClient bob{server.Port(), "127.0.0.3"};
    TTestClient carol{server.Port(), "127.0.0.4"};
};

TEST_F(MessagingTest, MissingTextGives412AndDeliversNothing) {
    const std::string noText = ErrorLine("alice", TReply::NoTextToSend, {});
    alice.Send("PRIVMSG bob");
    EXPECT_EQ(alice.ReadLine(), noText);
    alice.Send("PRIVMSG bob hello");  // no colon: "hello" is a target, the text is missing
    EXPECT_EQ(alice.ReadLine(), noText);
    alice.Send("NOTICE bob");
    EXPECT_EQ(alice.ReadLine(), noText);
    ExpectNothingMore(alice);
    ExpectNothingMore(bob);
}

TEST_F(MessagingTest, TargetsAreServedInOrderUntilOneIsMissing) {
    carol.Send("PRIVMSG alice bob :hi");
    EXPECT_EQ(alice.ReadLine(), kCarol + " PRIVMSG alice :hi\r\n");
    EXPECT_EQ(bob.ReadLine(), kCarol + " PRIVMSG bob :hi\r\n");

    carol.Send("PRIVMSG bob Nobody alice :second");
    EXPECT_EQ(bob.ReadLine(), kCarol + " PRIVMSG bob :second\r\n");
    EXPECT_EQ(carol.ReadLine(), ErrorLine("carol", TReply::NoSuchNick, {"Nobody"}));

    carol.Send("NOTICE #nowhere alice :third");
    EXPECT_EQ(carol.ReadLine(), ErrorLine("carol", TReply::NoSuchChannel, {"#nowhere"}));

    ExpectNothingMore(carol);
    ExpectNothingMore(alice);
    ExpectNothingMore(bob);
}

TEST_F(MessagingTest, DeliveryNamesTargetsAsStored) {
    MakeRoomOfAliceAndBob();
    carol.Send("PRIVMSG BOB :hi");
    EXPECT_EQ(bob.ReadLine(), kCarol + " PRIVMSG bob :hi\r\n");
    carol.Send("NOTICE #ROOM :hello room");
    EXPECT_EQ(alice.ReadLine(), kCarol + " NOTICE #room :hello room\r\n");
    EXPECT_EQ(bob.ReadLine(), kCarol + " NOTICE #room :hello room\r\n");
}

TEST_F(MessagingTest, AwayTargetGetsTheMessageAndTheSenderThen301) {
    alice.Send("AWAY :gone fishing");
    alice.ReadUntil(" 306 ");

    // A message to oneself shows the order on one connection: delivery, then 301.
    alice.Send("PRIVMSG alice :note");
    EXPECT_EQ(alice.ReadLine(), kAlice + " PRIVMSG alice :note\r\n");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 301 alice alice :gone fishing\r\n");

    bob.Send("PRIVMSG Alice :are you there");
    EXPECT_EQ(alice.ReadLine(), kBob + " PRIVMSG alice :are you there\r\n");
    EXPECT_EQ(bob.ReadLine(), ":TavoServer 301 bob alice :gone fishing\r\n");

    bob.Send("NOTICE alice :no away reply for notices");
    EXPECT_EQ(alice.ReadLine(), kBob + " NOTICE alice :no away reply for notices\r\n");
    ExpectNothingMore(bob);
}

TEST_F(MessagingTest, TextWithoutTargetSendsNothing) {
    MakeRoomOfAliceAndBob();
    alice.Send("PRIVMSG :hi");
    alice.Send("NOTICE :hi");
    ExpectNothingMore(alice);
    ExpectNothingMore(bob);
    ExpectNothingMore(carol);
}

TEST_F(MessagingTest, ChannelMessageReachesOtherMembersOnly) {
    MakeRoomOfAliceAndBob();
    alice.Send("PRIVMSG #room :hello");
    EXPECT_EQ(bob.ReadLine(), kAlice + " PRIVMSG #room :hello\r\n");
    ExpectNothingMore(alice);  // no echo to the sender
    ExpectNothingMore(carol);  // not a member

    // Without "+n" a non-member may speak to the channel.
    carol.Send("PRIVMSG #room :from outside");
    EXPECT_EQ(alice.ReadLine(), kCarol + " PRIVMSG #room :from outside\r\n");
    EXPECT_EQ(bob.ReadLine(), kCarol + " PRIVMSG #room :from outside\r\n");
    ExpectNothingMore(carol);
}

TEST_F(MessagingTest, NoExternalRefusesNonMembersButNotNotices) {
    MakeRoomOfAliceAndBob();
    ChangeChannel("#room", [](TChannelData& room) { room.NoExternal = true; });

    carol.Send("PRIVMSG #ROOM alice :both");
    EXPECT_EQ(carol.ReadLine(), ErrorLine("carol", TReply::CannotSendToChannel, {"#room"}));
    // A refused channel does not stop the targets after it.
    EXPECT_EQ(alice.ReadLine(), kCarol + " PRIVMSG alice :both\r\n");

    carol.Send("NOTICE #room :notice passes");
    EXPECT_EQ(alice.ReadLine(), kCarol + " NOTICE #room :notice passes\r\n");
    EXPECT_EQ(bob.ReadLine(), kCarol + " NOTICE #room :notice passes\r\n");

    bob.Send("PRIVMSG #room :members may");
    EXPECT_EQ(alice.ReadLine(), kBob + " PRIVMSG #room :members may\r\n");
    ExpectNothingMore(bob);
}

TEST_F(MessagingTest, ModeratedLetsOnlyVoicedMembersAndOperatorsSpeak) {
    MakeRoomOfAliceAndBob();
    ChangeChannel("#room", [](TChannelData& room) { room.Moderated = true; });

    carol.Send("PRIVMSG #room :outsider");
    EXPECT_EQ(carol.ReadLine(), ErrorLine("carol", TReply::CannotSendToChannel, {"#room"}));
    bob.Send("PRIVMSG #room :no voice yet");
    EXPECT_EQ(bob.ReadLine(), ErrorLine("bob", TReply::CannotSendToChannel, {"#room"}));

    alice.Send("PRIVMSG #room :operator speaks");
    EXPECT_EQ(bob.ReadLine(), kAlice + " PRIVMSG #room :operator speaks\r\n");

    ChangeChannel("#room", [](TChannelData& room) { room.MemberFlags("bob")->Voice = 1; });
    bob.Send("PRIVMSG #room :voiced");
    EXPECT_EQ(alice.ReadLine(), kBob + " PRIVMSG #room :voiced\r\n");

    carol.Send("NOTICE #room :notice passes");
    EXPECT_EQ(alice.ReadLine(), kCarol + " NOTICE #room :notice passes\r\n");
    EXPECT_EQ(bob.ReadLine(), kCarol + " NOTICE #room :notice passes\r\n");

    ExpectNothingMore(alice);
    ExpectNothingMore(bob);
    ExpectNothingMore(carol);
}

TEST_F(MessagingTest, ALineBreakInsideATextEndsTheRelayedLineThere) {
    alice.SendRaw("PRIVMSG bob :hi\n:mallory!~m@forged.host PRIVMSG bob :x\rmore\r\n");
    EXPECT_EQ(bob.ReadLine(), kAlice + " PRIVMSG bob :hi\r\n");
    alice.SendRaw("QUIT :bye\nERROR :forged\r\n");
    EXPECT_EQ(alice.ReadLine(), "ERROR :ClosingLink: alice[~user@127.0.0.2] bye\r\n");
    ExpectNothingMore(bob);
}

}  // namespace
