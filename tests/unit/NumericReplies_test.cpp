// Tests of the numeric error reply lines: layout, addressee rules and code page 932 texts.
#include "core/ConstructionUnit/NumericReplies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "JapaneseTexts.h"

namespace {

using std::string_literals::operator""s;

constexpr std::string_view Server = "irc.test";

// Texts as code page 932 bytes, taken from `iconv -f UTF-8 -t CP932 | xxd`.
const std::string UnknownCommandText =  // 不明なコマンドです。
    "\x95\x73\x96\xbe\x82\xc8\x83\x52\x83\x7d\x83\x93\x83\x68\x82\xc5\x82\xb7\x81\x42";
const std::string NotOnChannelText =  // あなたはそのチャンネル上にいません。
    "\x82\xa0\x82\xc8\x82\xbd\x82\xcd\x82\xbb\x82\xcc\x83\x60\x83\x83\x83\x93\x83\x6c"
    "\x83\x8b\x8f\xe3\x82\xc9\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42";
const std::string UnknownModeText =  // このモードを理解できません
    "\x82\xb1\x82\xcc\x83\x82\x81\x5b\x83\x68\x82\xf0\x97\x9d\x89\xf0\x82\xc5\x82\xab"
    "\x82\xdc\x82\xb9\x82\xf1";
const std::string SummonDisabledText =  // ＳＵＭＭＯＮをサポートしていません。
    "\x82\x72\x82\x74\x82\x6c\x82\x6c\x82\x6e\x82\x6d\x82\xf0\x83\x54\x83\x7c\x81\x5b"
    "\x83\x67\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42";

std::string Line(std::string_view head, std::string_view text) {
    return ":irc.test "s.append(head).append(" :").append(text).append("\r\n");
}

TEST(BuildReplyLine, TextsGoOutAsCodePage932Bytes) {
    EXPECT_EQ(BuildReplyLine(Server, "bob", TReply::UnknownCommand, {"FOO"}),
              Line("421 bob FOO", UnknownCommandText));
    EXPECT_EQ(BuildReplyLine(Server, "alice", TReply::SummonDisabled, {}),
              Line("445 alice", SummonDisabledText));
}

TEST(BuildReplyLine, EmptyNickLeavesTwoBlanksAfterTheCode) {
    EXPECT_EQ(BuildReplyLine(Server, "", TReply::UnknownCommand, {"FOO"}),
              Line("421  FOO", UnknownCommandText));
    EXPECT_EQ(BuildReplyLine(Server, "", TReply::NoSuchNick, {"carol"}),
              Line("401  carol", Texts::Err401));
}

TEST(BuildReplyLine, NotRegisteredNamesUnknownUntilANickIsSet) {
    EXPECT_EQ(BuildReplyLine(Server, "", TReply::NotRegistered, {}),
              Line("451 unknown", Texts::Err451));
    EXPECT_EQ(BuildReplyLine(Server, "bob", TReply::NotRegistered, {}),
              Line("451 bob", Texts::Err451));
}

TEST(BuildReplyLine, NicknameRepliesAlwaysAddressStar) {
    for (const std::string_view nick : {"", "bob"}) {
        SCOPED_TRACE(testing::Message() << "nick \"" << nick << "\"");
        EXPECT_EQ(BuildReplyLine(Server, nick, TReply::NoNicknameGiven, {}),
                  Line("431 *", Texts::Err431));
        EXPECT_EQ(BuildReplyLine(Server, nick, TReply::ErroneousNickname, {"b@d"}),
                  Line("432 * b@d", Texts::Err432));
        EXPECT_EQ(BuildReplyLine(Server, nick, TReply::NicknameInUse, {"Carol"}),
                  Line("433 * Carol", Texts::Err433));
    }
}

TEST(BuildReplyLine, ArgumentsFollowTheAddresseeInOrder) {
    EXPECT_EQ(BuildReplyLine(Server, "alice", TReply::NotOnChannel, {"alice", "#a"}),
              Line("442 alice alice #a", NotOnChannelText));
    EXPECT_EQ(BuildReplyLine(Server, "alice", TReply::UserNotInChannel, {"bob", "#a"}),
              Line("441 alice bob #a", Texts::Err441));
    EXPECT_EQ(BuildReplyLine(Server, "alice", TReply::NeedMoreParams, {"JOIN"}),
              Line("461 alice JOIN", Texts::Err461));
    // Arguments are inserted as given, blanks and colons included.
    EXPECT_EQ(BuildReplyLine(Server, "alice", TReply::NoSuchChannel, {" #a:b "}),
              Line("403 alice  #a:b ", Texts::Err403));
}

TEST(BuildReplyLine, UnknownModeShowsTheLetterInBracketsBeforeTheText) {
    EXPECT_EQ(BuildReplyLine(Server, "alice", TReply::UnknownMode, {"x", "#a"}),
              ":irc.test 472 alice #a :< x > " + UnknownModeText + "\r\n");
    EXPECT_EQ(BuildReplyLine(Server, "", TReply::UnknownMode, {"Q", "#b"}),
              ":irc.test 472  #b :< Q > " + UnknownModeText + "\r\n");
}

// Builds a reply with `count` placeholder arguments.
std::string BuildWithArguments(TReply reply, int count) {
    switch (count) {
        case 0:
            return BuildReplyLine(Server, "n", reply, {});
        case 1:
            return BuildReplyLine(Server, "n", reply, {"a"});
        default:
            return BuildReplyLine(Server, "n", reply, {"a", "b"});
    }
}

TEST(BuildReplyLine, EveryReplyIsOneLineWithOneCrLf) {
    using enum TReply;
    struct TCase {
        TReply Reply;
        int ArgumentCount;
        std::string Code;
    };
    const std::vector<TCase> cases = {
        {NoSuchNick, 1, "401"},          {NoSuchChannel, 1, "403"},
        {CannotSendToChannel, 1, "404"}, {NoTextToSend, 0, "412"},
        {UnknownCommand, 1, "421"},      {NoNicknameGiven, 0, "431"},
        {ErroneousNickname, 1, "432"},   {NicknameInUse, 1, "433"},
        {UserNotInChannel, 2, "441"},    {NotOnChannel, 2, "442"},
        {UserOnChannel, 2, "443"},       {SummonDisabled, 0, "445"},
        {UsersDisabled, 0, "446"},       {NotRegistered, 0, "451"},
        {NeedMoreParams, 1, "461"},      {AlreadyRegistered, 0, "462"},
        {ChannelIsFull, 1, "471"},       {UnknownMode, 2, "472"},
        {InviteOnlyChannel, 1, "473"},   {BannedFromChannel, 1, "474"},
        {BadChannelKey, 1, "475"},       {ChanOpPrivilegesNeeded, 1, "482"},
        {UsersDontMatch, 0, "502"},
    };
    for (const auto& [reply, count, code] : cases) {
        SCOPED_TRACE("reply " + code);
        const std::string line = BuildWithArguments(reply, count);
        EXPECT_TRUE(line.starts_with(":irc.test " + code + " "));
        EXPECT_TRUE(line.ends_with("\r\n"));
        EXPECT_EQ(std::ranges::count(line, '\r'), 1);
        EXPECT_EQ(std::ranges::count(line, '\n'), 1);
        const auto textStart = line.find(" :");
        ASSERT_NE(textStart, std::string::npos);
        EXPECT_GT(line.size(), textStart + std::string_view(" :\r\n").size()) << "no text";
    }
}

TEST(BuildReplyLineDeathTest, WrongArgumentCountIsAProgrammingError) {
#ifdef NDEBUG
    GTEST_SKIP() << "argument counts are checked only in builds with assertions";
#endif
    EXPECT_DEATH(BuildReplyLine(Server, "n", TReply::NoSuchNick, {}), "wrong number");
    EXPECT_DEATH(BuildReplyLine(Server, "n", TReply::NoTextToSend, {"x"}), "wrong number");
    EXPECT_DEATH(BuildReplyLine(Server, "n", TReply::UnknownMode, {"x"}), "wrong number");
}

}  // namespace
