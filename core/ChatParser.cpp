// Line parser: prefix, command recognition against the command table, and the
// parameters of one received line.
#include "core/ChatParser.h"

#include <cassert>

#include "core/ConstructionUnit/CommandTable.h"
#include "platform/CodePage.h"

namespace {

constexpr char Blank = ' ';  // the only separator; tabs are ordinary characters
constexpr std::string_view LineEnd = "\r\n";

std::string_view SkipBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(Blank);
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

// Stores a leading ":prefix" and returns the text after it and its following blanks.
// A ":" with no blank after it is not a prefix and stays in the text.
std::string_view TakePrefix(std::string_view text, std::string& prefix) {
    const auto blank = text.find(Blank);
    if (!text.starts_with(':') || blank == std::string_view::npos) {
        return text;
    }
    prefix = text.substr(1, blank - 1);
    return SkipBlanks(text.substr(blank));
}

// The word an unrecognised line is named by: up to the first blank, else up to the
// CR LF, else nothing.
std::string_view FirstWord(std::string_view text) {
    auto end = text.find(Blank);
    if (end == std::string_view::npos) {
        end = text.find(LineEnd);
    }
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end);
}

// Takes up to MaxParams parameters from `text`; true when the CR LF was reached.
bool TakeParams(std::string_view text, TParsedMessage& message) {
    for (std::string& param : message.Params) {
        text = SkipBlanks(text);
        const auto blank = text.find(Blank);
        const bool takesRest = text.starts_with(':') || blank == std::string_view::npos;
        const auto length = takesRest ? text.size() : blank;
        param = text.substr(0, length);
        text.remove_prefix(length);
        if (const auto lineEnd = param.find(LineEnd); lineEnd != std::string::npos) {
            param.erase(lineEnd, LineEnd.size());
            return true;
        }
        if (text.empty()) {
            return false;
        }
    }
    return false;
}

}  // namespace

const std::string& TParsedMessage::Param(int k) const {
    assert(k >= 1 && k <= MaxParams);
    return Params[k - 1];
}

bool ParseLine(std::string_view line, TParsedMessage& message, TClientProfile profile) {
    message = TParsedMessage{};
    const std::string_view text = TakePrefix(SkipBlanks(line), message.Prefix);
    const std::string upper = platform::UpperCase(text);
    // The words of the command table that the profile knows, in the table's order; a
    // word counts only at the very start of the line.
    for (const TCommandRow& row : CommandTable()) {
        const std::string_view word = row.Word;
        if (row.HandlerIn(profile) == nullptr || !upper.starts_with(word)) {
            continue;
        }
        const std::string_view after = std::string_view(upper).substr(word.size());
        if (after.starts_with(LineEnd)) {
            message.Command = word;
            return true;
        }
        if (after.starts_with(Blank)) {
            message.Command = word;
            return TakeParams(text.substr(word.size() + 1), message);
        }
    }
    message.Command = FirstWord(text);
    return false;
}
