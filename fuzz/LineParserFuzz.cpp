// Fuzz target of the line parser: any bytes are parsed without harm, and a line as
// the receive framing hands it over (text, then its one CR LF) gives a record that
// keeps the parser's promises: a recognised command is a word of the table standing
// at the start of the line, at most 15 parameters cut from the line in order, a
// trailing parameter keeping its ":" and running to the CR LF, every field cleared
// before it is filled.
#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "core/ChatParser.h"
#include "fuzz/FuzzTargets.h"
#include "platform/CodePage.h"

namespace fuzz {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

constexpr std::array<std::string_view, 22> kCommandWords = {
    "NICK",  "USER", "JOIN",    "PART",   "PRIVMSG", "NOTICE", "QUIT",  "MODE",
    "TOPIC", "WHO",  "ISON",    "PING",   "PONG",    "AWAY",   "WHOIS", "NAMES",
    "LIST",  "KICK", "VERSION", "SUMMON", "USERS",   "INVITE"};

bool IsCommandWord(std::string_view word) {
    return std::ranges::find(kCommandWords, word) != kCommandWords.end();
}

bool SameRecord(const TParsedMessage& a, const TParsedMessage& b) {
    return a.Prefix == b.Prefix && a.Command == b.Command && a.Params == b.Params;
}

std::string_view WithoutLeadingBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

// The text where the command word stands: after leading blanks, and after a prefix
// (a leading ":" up to the first blank) and the blanks after it.
std::string_view CommandText(std::string_view line, const TParsedMessage& message) {
    const std::string_view text = WithoutLeadingBlanks(line);
    const auto blank = text.find(' ');
    if (!text.starts_with(':') || blank == std::string_view::npos) {
        Require(message.Prefix.empty(), "a prefix where the line has none");
        return text;
    }
    Require(text.substr(1, blank - 1) == message.Prefix,
            "the prefix is not the text between the leading ':' and the first blank");
    return WithoutLeadingBlanks(text.substr(blank));
}

void CheckCommand(std::string_view line, bool complete, const TParsedMessage& message) {
    Require(message.Prefix.find(' ') == std::string::npos, "the prefix holds a blank");
    const std::string_view text = CommandText(line, message);
    if (IsCommandWord(message.Command)) {
        const std::string upper = platform::UpperCase(text.substr(0, message.Command.size()));
        Require(upper == message.Command, "a recognised command is not the line's first word");
        const std::string_view after = text.substr(message.Command.size());
        Require(after.starts_with(' ') || after.starts_with(kLineEnd),
                "a recognised command word runs on into more text");
        return;
    }
    Require(!complete, "a line with an unknown command word counts as complete");
    Require(text.starts_with(message.Command), "an unknown word is not the line's first word");
    Require(message.Command.find(' ') == std::string::npos &&
                message.Command.find(kLineEnd) == std::string::npos,
            "an unknown word runs past a blank or the line end");
    Require(std::ranges::all_of(message.Params, &std::string::empty),
            "a line with an unknown command word has parameters");
}

void CheckParams(std::string_view line, bool complete, const TParsedMessage& message) {
    std::size_t searchFrom =
        line.size() - CommandText(line, message).size() + message.Command.size();
    bool lastTaken = false;  // an empty or trailing parameter was the last one
    for (const std::string& param : message.Params) {
        Require(param.find(kLineEnd) == std::string::npos, "a parameter holds the line end");
        if (lastTaken) {
            Require(param.empty(), "a parameter follows an empty or a trailing one");
            continue;
        }
        const bool trailing = param.starts_with(':');
        Require(trailing || param.find(' ') == std::string::npos,
                "a parameter that does not begin with ':' holds a blank");
        const auto at = line.find(param, searchFrom);
        Require(at != std::string_view::npos, "a parameter is not cut from the line in order");
        searchFrom = at + param.size();
        if (trailing)
            Require(line.substr(at) == param + std::string(kLineEnd),
                    "a trailing parameter does not run to the line end");
        lastTaken = param.empty() || trailing;
    }
    if (!complete && IsCommandWord(message.Command))
        Require(!message.Params.back().empty() && !message.Params.back().starts_with(':'),
                "a recognised line with fewer than 16 parameters counts as incomplete");
}

}  // namespace

void FuzzLineParser(std::string_view input) {
    TParsedMessage leftOver;
    ParseLine(input, leftOver);  // any bytes at all: never fails

    const std::string line = std::string(input.substr(0, input.find(kLineEnd))) + "\r\n";
    TParsedMessage reused = leftOver;
    const bool complete = ParseLine(line, reused);
    TParsedMessage fresh;
    Require(ParseLine(line, fresh) == complete && SameRecord(fresh, reused),
            "the result depends on what the record held before");
    Require(!complete || IsCommandWord(fresh.Command),
            "a complete line's command is not a word of the table");
    Require(fresh.Prefix.find(kLineEnd) == std::string::npos &&
                fresh.Command.find(kLineEnd) == std::string::npos,
            "the prefix or the command holds the line end");
    CheckCommand(line, complete, fresh);
    CheckParams(line, complete, fresh);
}

}  // namespace fuzz
