// Integration tests of MODE against a real server: user modes, the channel mode and
// ban-list queries, and channel changes with their announcements, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ConstructionUnit/NumericReplies.h"
#include "tests/support/TestClient.h"
#include "tests/support/TestServer.h"

namespace {

using TLines = std::vector<std::string>;

const std::string AlicePrefix = ":alice!~user@127.0.0.2 ";

std::string ErrorLine(const std::string& nick, TReply reply,
                      std::initializer_list<std::string_view> args) {
    return BuildReplyLine("TavoServer", nick, reply, args);
}

// Alice created #room and is its operator, bob joined it, carol is on no channel.
class ModeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        alice.Register("alice");
        bob.Register("bob");
        carol.Register("carol");
        alice.Send("JOIN #room");
        LinesBeforeOwnModes(alice, "alice");
        bob.Send("JOIN #room");
        LinesBeforeOwnModes(bob, "bob");
        LinesBeforeOwnModes(alice, "alice");
    }

    // Every line still due to the client: replies and announcements reach a client in
    // the order they were queued, so all of them arrive before the answer to a query of
    // its own modes sent now.
    static TLines LinesBeforeOwnModes(TTestClient& client, const std::string& nick) {
        client.Send("MODE " + nick);
        TLines lines = client.ReadUntil(":TavoServer MODE " + nick + " +");
        if (!lines.empty() && lines.back().starts_with(":TavoServer MODE " + nick + " +")) {
            lines.pop_back();
        }
        return lines;
    }

    // Alice sends the line; both members must receive exactly `announcements`, and
    // alice her own `replies` before them.
    void ExpectAliceChange(const std::string& line, const TLines& replies,
                           const TLines& announcements) {
        alice.Send(line);
        TLines toAlice = replies;
        toAlice.insert(toAlice.end(), announcements.begin(), announcements.end());
        EXPECT_EQ(LinesBeforeOwnModes(alice, "alice"), toAlice) << line;
        EXPECT_EQ(LinesBeforeOwnModes(bob, "bob"), announcements) << line;
    }

    std::string Query(TTestClient& client, const std::string& nick, const std::string& line) {
        client.Send(line);
        const TLines lines = LinesBeforeOwnModes(client, nick);
        return lines.size() == 1 ? lines.front() : "unexpected: " + testing::PrintToString(lines);
    }

    TTestServer server;
    TTestClient alice{server.Port(), "127.0.0.2"};
    TTestClient bob{server.Port(), "127.0.0.3"};
    TTestClient carol{server.Port(), "127.0.0.4"};
};

TEST_F(ModeTest, SummaryGivesEachLetterItsSignAndParametersInFixedOrder) {
    ExpectAliceChange("MODE #room +tlbk 10 bob secret", {},
                      {AlicePrefix + "MODE #room +t+l+b+k 10 bob!*@* secret\r\n"});
    ExpectAliceChange("MODE #room +kl other 20", {},
                      {AlicePrefix + "MODE #room +k+l 20 other\r\n"});
    ExpectAliceChange("MODE #room -tk+b other *!~guest@*", {},
                      {AlicePrefix + "MODE #room -t-k+b *!~guest@* other\r\n"});
}

TEST_F(ModeTest, QueryShowsTheTargetAsTypedAndTheKeyToMembersOnly) {
    EXPECT_EQ(Query(alice, "alice", "MODE #Room"), ":TavoServer MODE #Room +\r\n");
    ExpectAliceChange("MODE #ROOM +nk secret", {}, {AlicePrefix + "MODE #room +n+k secret\r\n"});
    ExpectAliceChange("MODE #room +l 5", {}, {AlicePrefix + "MODE #room +l 5\r\n"});
    EXPECT_EQ(Query(bob, "bob", "MODE #room"), ":TavoServer MODE #room +nlk 5 secret\r\n");
    EXPECT_EQ(Query(carol, "carol", "MODE #ROOM"), ":TavoServer MODE #ROOM +nlk 5\r\n");
}

TEST_F(ModeTest, PrivateAndSecretExcludeEachOther) {
    ExpectAliceChange("MODE #room +pt", {}, {AlicePrefix + "MODE #room +p+t\r\n"});
    ExpectAliceChange("MODE #room +s", {}, {AlicePrefix + "MODE #room +s\r\n"});
    EXPECT_EQ(Query(alice, "alice", "MODE #room"), ":TavoServer MODE #room +st\r\n");
    ExpectAliceChange("MODE #room +im-s", {}, {AlicePrefix + "MODE #room +i+m-s\r\n"});
    EXPECT_EQ(Query(alice, "alice", "MODE #room"), ":TavoServer MODE #room +itm\r\n");
}

TEST_F(ModeTest, UnknownMemberEndsTheCommandWithoutSummary) {
    ExpectAliceChange("MODE #room +mo nobody",
                      {ErrorLine("alice", TReply::UserNotInChannel, {"nobody", "#room"})}, {});
    EXPECT_EQ(Query(alice, "alice", "MODE #room"), ":TavoServer MODE #room +m\r\n");
    // "o" names the member exactly; "v" finds the user by nickname but needs a member.
    ExpectAliceChange("MODE #Room +to Bob",
                      {ErrorLine("alice", TReply::UserNotInChannel, {"Bob", "#Room"})}, {});
    ExpectAliceChange("MODE #room +v carol",
                      {ErrorLine("alice", TReply::UserNotInChannel, {"carol", "#room"})}, {});
    EXPECT_EQ(Query(alice, "alice", "MODE #room"), ":TavoServer MODE #room +tm\r\n");
}

TEST_F(ModeTest, UnknownLettersAreRefusedOneByOne) {
    const std::string unknownX = ErrorLine("alice", TReply::UnknownMode, {"x", "#room"});
    ExpectAliceChange("MODE #room +x", {unknownX}, {});
    ExpectAliceChange("MODE #room +xm", {unknownX}, {AlicePrefix + "MODE #room +m\r\n"});
    ExpectAliceChange("MODE #room +O bob",
                      {ErrorLine("alice", TReply::UnknownMode, {"O", "#room"})}, {});
}

TEST_F(ModeTest, MemberFlagsAreAnnouncedAtOnceInLetterOrder) {
    ExpectAliceChange(
        "MODE #room +oo alice bob", {},
        {AlicePrefix + "MODE #room +o alice\r\n", AlicePrefix + "MODE #room +o bob\r\n"});
    ExpectAliceChange("MODE #room +tv-o bob bob", {},
                      {AlicePrefix + "MODE #room +v bob\r\n", AlicePrefix + "MODE #room -o bob\r\n",
                       AlicePrefix + "MODE #room +t\r\n"});
    bob.Send("MODE #room -t");
    EXPECT_EQ(LinesBeforeOwnModes(bob, "bob"),
              (TLines{ErrorLine("bob", TReply::ChanOpPrivilegesNeeded, {"#room"})}));
    // Letters without a usable parameter are passed over.
    ExpectAliceChange("MODE #room +ovk", {}, {});
    ExpectAliceChange("MODE #room +o -n", {}, {});
}

TEST_F(ModeTest, BanListKeepsMasksInOrderAndRemovesIgnoringCase) {
    EXPECT_EQ(Query(carol, "carol", "MODE #room +b"),
              ":TavoServer 368 carol #room  :End Of Channel Ban List\r\n");
    ExpectAliceChange("MODE #room +bb bob *!~guest@*", {},
                      {AlicePrefix + "MODE #room +b+b bob!*@* *!~guest@*\r\n"});
    ExpectAliceChange("MODE #room -b BOB!*@*", {}, {AlicePrefix + "MODE #room -b BOB!*@*\r\n"});
    ExpectAliceChange("MODE #room -b+b nobody", {}, {});
    carol.Send("MODE #Room +b");
    EXPECT_EQ(LinesBeforeOwnModes(carol, "carol"),
              (TLines{":TavoServer 367 carol #Room *!~guest@*\r\n",
                      ":TavoServer 368 carol #Room  :End Of Channel Ban List\r\n"}));
}

TEST_F(ModeTest, LimitNeedsANumberAndKeyRemovalNeedsTheKey) {
    ExpectAliceChange("MODE #room +l", {}, {AlicePrefix + "MODE #room -l\r\n"});
    ExpectAliceChange("MODE #room +lk 7 secret", {},
                      {AlicePrefix + "MODE #room +l+k 7 secret\r\n"});
    // A parameter that is no number is used up: the key takes the next one.
    ExpectAliceChange("MODE #room +lk abc other", {}, {AlicePrefix + "MODE #room +k other\r\n"});
    ExpectAliceChange("MODE #room -k secret", {}, {});
    EXPECT_EQ(Query(alice, "alice", "MODE #room"), ":TavoServer MODE #room +lk 7 other\r\n");
    ExpectAliceChange("MODE #room -lk other", {}, {AlicePrefix + "MODE #room -l-k other\r\n"});
    EXPECT_EQ(Query(alice, "alice", "MODE #room"), ":TavoServer MODE #room +\r\n");
}

TEST_F(ModeTest, RefusalsChangeNothing) {
    EXPECT_EQ(Query(alice, "alice", "MODE"), ErrorLine("alice", TReply::NeedMoreParams, {"MODE"}));
    EXPECT_EQ(Query(alice, "alice", "MODE #nowhere"),
              ErrorLine("alice", TReply::NoSuchChannel, {"#nowhere"}));
    EXPECT_EQ(Query(carol, "carol", "MODE #Room +b carol"),
              ErrorLine("carol", TReply::NotOnChannel, {"carol", "#room"}));
    EXPECT_EQ(Query(bob, "bob", "MODE #ROOM +t"),
              ErrorLine("bob", TReply::ChanOpPrivilegesNeeded, {"#ROOM"}));
    EXPECT_EQ(Query(alice, "alice", "MODE #room +b"),
              ":TavoServer 368 alice #room  :End Of Channel Ban List\r\n");
    EXPECT_EQ(Query(alice, "alice", "MODE #room"), ":TavoServer MODE #room +\r\n");
}

TEST_F(ModeTest, UserChangesOnlyOwnModes) {
    // The answer itself looks like the end of LinesBeforeOwnModes, so it is read directly.
    const auto ownModes = [&](const std::string& line) {
        alice.Send(line);
        return alice.ReadLine().value_or("nothing");
    };
    EXPECT_EQ(ownModes("MODE alice"), ":TavoServer MODE alice +\r\n");
    EXPECT_EQ(ownModes("MODE alice +i"), ":TavoServer MODE alice +i\r\n");
    EXPECT_EQ(ownModes("MODE alice -i+w"), ":TavoServer MODE alice +\r\n");
    EXPECT_EQ(ownModes("MODE alice +i-w"), ":TavoServer MODE alice +iw\r\n");
    EXPECT_EQ(ownModes("MODE alice +os -w i"), ":TavoServer MODE alice +is\r\n");
    EXPECT_EQ(ownModes("MODE Alice +i"), ErrorLine("alice", TReply::UsersDontMatch, {}));
    EXPECT_EQ(ownModes("MODE bob"), ErrorLine("alice", TReply::UsersDontMatch, {}));
    EXPECT_EQ(ownModes("MODE alice -iso"), ":TavoServer MODE alice +\r\n");
    EXPECT_EQ(LinesBeforeOwnModes(alice, "alice"), TLines{});
    EXPECT_EQ(LinesBeforeOwnModes(bob, "bob"), TLines{});
}

}  // namespace
