// The Modern client profile with UTF-8 texts through a real server: the shapes today's
// clients rely on, and the settings the server refuses to start with.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "JapaneseTexts.h"
#include "tests/support/TestClient.h"
#include "tests/support/TestServer.h"

namespace {

TSettings ModernSettings() {
    TSettings settings;
    settings.ClientProfile = "Modern";
    settings.TextEncoding = "UTF-8";
    settings.MotdLines = {std::string(Texts::MotdDefaultLine1)};  // code page 932, as read
    return settings;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& wanted) {
    return std::ranges::find(lines, wanted) != lines.end();
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines)
        all += line;
    return all;
}

// Why a server with these settings does not start; empty when it does.
std::string StartFailure(const TSettings& settings) {
    try {
        TTestServer server(settings);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

class ModernProfileTest : public ::testing::Test {
  protected:
    TTestServer server{ModernSettings()};
    TTestClient alice{server.Port(), "127.0.0.2"};
    TTestClient bob{server.Port(), "127.0.0.3"};
};

TEST_F(ModernProfileTest, TheWelcomeTellsWhatTheServerSupportsInUtf8) {
    alice.Send("CAP LS 302");
    alice.Send("NICK alice_with_a_long_nick");
    alice.Send("USER alice 0 * :Alice");
    alice.Send("CAP END");
    const auto lines = alice.ReadUntil(" 376 ");
    const std::string all = Joined(lines);
    EXPECT_EQ(lines.front(), ":TavoServer CAP * LS :\r\n");
    EXPECT_TRUE(
        Has(all, " 001 alice_with_a_long_nick :" + std::string(JapaneseTexts::Utf8.Welcome001) +
                     "alice_with_a_long_nick!~alice@"))
        << all;
    EXPECT_TRUE(Has(all, ":TavoServer 002 alice_with_a_long_nick :Your host is TavoServer"));
    EXPECT_TRUE(Has(all, ":TavoServer 003 alice_with_a_long_nick :This server was created"));
    EXPECT_TRUE(Has(all, ":TavoServer 004 alice_with_a_long_nick TavoServer "));
    for (const char* token : {" CHANTYPES=#& ", " PREFIX=(ov)@+ ", " NICKLEN=30 ",
                              " CHANNELLEN=50 ", " CASEMAPPING=ascii "})
        EXPECT_TRUE(Has(all, token)) << token << " missing from\n" << all;
    EXPECT_TRUE(Has(all, " 372 alice_with_a_long_nick :- " +
                             std::string(JapaneseTexts::Utf8.MotdDefaultLine1)));
    EXPECT_FALSE(Has(all, " 421 ")) << all;  // CAP END is taken silently
}

TEST_F(ModernProfileTest, ChannelsQueriesAndKeepAliveAnswerInTheShapesClientsParse) {
    alice.Register("alice");
    bob.Register("bob");
    alice.Send("PING :lag-probe 17");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer PONG TavoServer :lag-probe 17\r\n");

    alice.Send("JOIN #a,#b");
    alice.ReadUntil(" 366 alice #b ");
    bob.Send("JOIN #a");
    bob.ReadUntil(" 366 bob #a ");
    alice.Send("MODE #a +k sekrit");
    alice.ReadUntil(" MODE #a +k sekrit");
    alice.Send("MODE #a");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 324 alice #a +k sekrit\r\n");
    EXPECT_TRUE(alice.ReadLine().value_or("").starts_with(":TavoServer 329 alice #a "));

    alice.Send("NAMES #a,#none");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 353 alice = #a :@alice bob\r\n");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 366 alice #a :End of /NAMES list.\r\n");
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 366 alice #none :End of /NAMES list.\r\n");

    alice.Send("WHOIS nobody");
    EXPECT_TRUE(alice.ReadLine().value_or("").starts_with(":TavoServer 401 alice nobody :"));
    EXPECT_EQ(alice.ReadLine(), ":TavoServer 318 alice nobody :End of Whois list\r\n");
    alice.Send("AWAY :back soon");
    EXPECT_EQ(alice.ReadLine(),
              ":TavoServer 306 alice :" + std::string(JapaneseTexts::Utf8.Away306) + "\r\n");

    // Targets as a comma list, a text of one word without its ":"; a change of the case
    // of one's own nick is taken and told to its user.
    alice.Send("PRIVMSG bob,#b hello");
    EXPECT_EQ(bob.ReadUntil(" PRIVMSG ").back(), ":alice!~user@127.0.0.2 PRIVMSG bob :hello\r\n");
    alice.Send("NICK Alice");
    EXPECT_EQ(alice.ReadLine(), ":alice!~user@127.0.0.2 NICK :Alice\r\n");
    EXPECT_EQ(bob.ReadUntil(" NICK ").back(), ":alice!~user@127.0.0.2 NICK :Alice\r\n");
    alice.Send("NICK alice");
    alice.ReadUntil(" NICK :alice");
    bob.ReadUntil(" NICK :alice");

    alice.Send("PART #a,#b :see you later");
    const auto seen = bob.ReadUntil(" PART ");
    EXPECT_EQ(seen.back(), ":alice!~user@127.0.0.2 PART #a :see you later\r\n");
    EXPECT_TRUE(
        HasLine(alice.ReadUntil(" PART #b "), ":alice!~user@127.0.0.2 PART #b :see you later\r\n"));
}

TEST(ModernSettingsTest, TheServerRefusesToStartWithValuesItDoesNotKnow) {
    TSettings settings;
    settings.ClientProfile = "Modrn";
    const std::string profile = StartFailure(settings);
    EXPECT_TRUE(Has(profile, "ClientProfile") && Has(profile, "Modrn") &&
                Has(profile, "Exact, Modern"))
        << profile;

    settings = {};
    settings.TextEncoding = "EUC-JP";
    const std::string encoding = StartFailure(settings);
    EXPECT_TRUE(Has(encoding, "TextEncoding") && Has(encoding, "Shift_JIS, UTF-8")) << encoding;

    // Text that is no code page 932 cannot go out as UTF-8: the file and line are named.
    settings = ModernSettings();
    settings.MotdLines = {"fine", "a lone lead byte \x81"};
    const std::string motd = StartFailure(settings);
    EXPECT_TRUE(Has(motd, "MOTD.txt") && Has(motd, " 2 ")) << motd;

    settings.MotdLines = {"\x83\x5e"};  // katakana TA
    EXPECT_EQ(StartFailure(settings), "");
}

}  // namespace
