// Tests of the line parser: prefix, command recognition, parameters and completeness.
#include "core/ChatParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TParsed {
    bool Complete;
    TParsedMessage Message;
};

TParsed Parse(std::string_view line) {
    TParsed parsed{};
    parsed.Complete = ParseLine(line, parsed.Message);
    return parsed;
}

// The parameters padded with empty strings to all fifteen slots.
std::array<std::string, TParsedMessage::MaxParams> Params(std::vector<std::string> taken) {
    std::array<std::string, TParsedMessage::MaxParams> all;
    std::ranges::copy(taken, all.begin());
    return all;
}

struct TExample {
    std::string Line;
    bool Complete;
    std::string Prefix;
    std::string Command;
    std::vector<std::string> Params;
};

void ExpectParsedAs(const TExample& example) {
    SCOPED_TRACE(testing::Message() << "line \"" << example.Line << "\"");
    const TParsed parsed = Parse(example.Line);
    EXPECT_EQ(parsed.Complete, example.Complete);
    EXPECT_EQ(parsed.Message.Prefix, example.Prefix);
    EXPECT_EQ(parsed.Message.Command, example.Command);
    EXPECT_EQ(parsed.Message.Params, Params(example.Params));
}

TEST(ParseLine, WorkedExamples) {
    const std::vector<TExample> examples = {
        {"NICK bob\r\n", true, "", "NICK", {"bob"}},
        {"  nick bob\r\n", true, "", "NICK", {"bob"}},
        {"LIST\r\n", true, "", "LIST", {}},
        {"USER u h s :my name\r\n", true, "", "USER", {"u", "h", "s", ":my name"}},
        {":bob PRIVMSG #c :hi there\r\n", true, "bob", "PRIVMSG", {"#c", ":hi there"}},
        {"PRIVMSG #c :my nick is x\r\n", true, "", "PRIVMSG", {"#c", ":my nick is x"}},
        {"FOO bar\r\n", false, "", "FOO", {}},
        {"WHOWAS bob\r\n", false, "", "WHOWAS", {}},
        {"\r\n", false, "", "", {}},
    };
    for (const TExample& example : examples) {
        ExpectParsedAs(example);
    }
}

TEST(ParseLine, RecognitionIgnoresCaseButFieldsKeepIt) {
    ExpectParsedAs(
        {":Bob privmsg #Chan :Hi There\r\n", true, "Bob", "PRIVMSG", {"#Chan", ":Hi There"}});
    ExpectParsedAs({"Join #MixedCase\r\n", true, "", "JOIN", {"#MixedCase"}});
    // Shift_JIS bytes pass through untouched.
    ExpectParsedAs(
        {"away :\x82\xa0"
         "a\x82\xa2\r\n",
         true,
         "",
         "AWAY",
         {":\x82\xa0"
          "a\x82\xa2"}});
}

TEST(ParseLine, CommandAloneBeforeLineEndIsComplete) {
    ExpectParsedAs({"NICK\r\n", true, "", "NICK", {}});
    ExpectParsedAs({":bob QUIT\r\n", true, "bob", "QUIT", {}});
    ExpectParsedAs({"   :bob    version\r\n", true, "bob", "VERSION", {}});
}

TEST(ParseLine, TrailingParameterKeepsItsColon) {
    ExpectParsedAs({"TOPIC #c :\r\n", true, "", "TOPIC", {"#c", ":"}});
    ExpectParsedAs({"TOPIC #c ::a  b :c\r\n", true, "", "TOPIC", {"#c", "::a  b :c"}});
    // A ":" inside a word does not start a trailing parameter.
    ExpectParsedAs({"MODE #c +k a:b c\r\n", true, "", "MODE", {"#c", "+k", "a:b", "c"}});
}

TEST(ParseLine, BlanksBetweenAndAfterParameters) {
    ExpectParsedAs({"USER   u  h s    :x\r\n", true, "", "USER", {"u", "h", "s", ":x"}});
    ExpectParsedAs({"NICK bob \r\n", true, "", "NICK", {"bob", ""}});
    ExpectParsedAs({"NICK   \r\n", true, "", "NICK", {""}});
}

TEST(ParseLine, AtMostFifteenParameters) {
    std::vector<std::string> words;
    std::string line = "ISON";
    for (int k = 1; k <= 15; ++k) {
        words.push_back("n" + std::to_string(k));
        line += " " + words.back();
    }
    ExpectParsedAs({line + "\r\n", true, "", "ISON", words});
    ExpectParsedAs({line + " n16\r\n", false, "", "ISON", words});
    // Fifteen parameters then a blank leave an empty sixteenth waiting.
    ExpectParsedAs({line + " \r\n", false, "", "ISON", words});

    std::vector<std::string> withTrailing(words.begin(), words.end() - 1);
    withTrailing.push_back(":last words");
    line.resize(line.rfind(' '));
    ExpectParsedAs({line + " :last words\r\n", true, "", "ISON", withTrailing});
}

TEST(ParseLine, OnlyAWholeTableWordAtTheStartIsRecognised) {
    ExpectParsedAs({"NICKNAME bob\r\n", false, "", "NICKNAME", {}});
    ExpectParsedAs({"usersx\r\n", false, "", "usersx", {}});
    ExpectParsedAs({"whoisx bob\r\n", false, "", "whoisx", {}});
    ExpectParsedAs({"FOO PRIVMSG #c :hi\r\n", false, "", "FOO", {}});
    ExpectParsedAs({"PRIVMSG #c :JOIN #d\r\n", true, "", "PRIVMSG", {"#c", ":JOIN #d"}});
    // Neighbouring table words with a shared beginning.
    ExpectParsedAs({"WHOIS bob\r\n", true, "", "WHOIS", {"bob"}});
    ExpectParsedAs({"WHO bob\r\n", true, "", "WHO", {"bob"}});
    ExpectParsedAs({"USERS\r\n", true, "", "USERS", {}});
}

TEST(ParseLine, OnlyTheSpaceByteIsABlank) {
    ExpectParsedAs({"NICK\tbob\r\n", false, "", "NICK\tbob", {}});
    ExpectParsedAs({"NICK bob\tjr\r\n", true, "", "NICK", {"bob\tjr"}});
    ExpectParsedAs({"\tNICK bob\r\n", false, "", "\tNICK", {}});
}

TEST(ParseLine, PrefixNeedsABlankAfterIt) {
    ExpectParsedAs({":bob\r\n", false, "", ":bob", {}});
    ExpectParsedAs({": NICK bob\r\n", true, "", "NICK", {"bob"}});
    ExpectParsedAs({":bob :NICK bob\r\n", false, "bob", ":NICK", {}});
}

TEST(ParseLine, BlankAndEmptyLines) {
    ExpectParsedAs({"     \r\n", false, "", "", {}});
    ExpectParsedAs({"     ", false, "", "", {}});
    ExpectParsedAs({"", false, "", "", {}});
}

TEST(ParseLine, OnlyCrLfEndsALine) {
    ExpectParsedAs({"NICK bob", false, "", "NICK", {"bob"}});
    ExpectParsedAs({"NICK bob\n", false, "", "NICK", {"bob\n"}});
    ExpectParsedAs({"NICK bob\r", false, "", "NICK", {"bob\r"}});
    ExpectParsedAs({"NICK bob\n\r", false, "", "NICK", {"bob\n\r"}});
    ExpectParsedAs({"NICK", false, "", "", {}});
    ExpectParsedAs({"NICK\n", false, "", "", {}});
    ExpectParsedAs({"FOO bar", false, "", "FOO", {}});
    ExpectParsedAs({"FOO\r\n", false, "", "FOO", {}});
}

TEST(ParseLine, ClearsEveryFieldFirst) {
    TParsedMessage message;
    ASSERT_TRUE(ParseLine(":bob USER a b c :d\r\n", message));
    EXPECT_FALSE(ParseLine("\r\n", message));
    EXPECT_EQ(message.Prefix, "");
    EXPECT_EQ(message.Command, "");
    EXPECT_EQ(message.Params, Params({}));
}

TEST(ParsedMessage, ParamCountsFromOne) {
    const TParsed parsed = Parse("KICK #c bob :go\r\n");
    ASSERT_TRUE(parsed.Complete);
    EXPECT_EQ(parsed.Message.Param(1), "#c");
    EXPECT_EQ(parsed.Message.Param(3), ":go");
    EXPECT_EQ(parsed.Message.Param(TParsedMessage::MaxParams), "");
}

}  // namespace
