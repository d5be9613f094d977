// The command table: every command the server knows, one row each. The parser
// recognises the words of these rows; the dispatcher runs a row's handler once the
// connection may use it and the line carries the parameters it needs.
#pragma once

#include <span>
#include <string_view>

#include "core/ChatParser.h"

class TConnection;

using TCommandHandler = void (*)(TConnection& connection, const TParsedMessage& message);

struct TCommandRow {
    std::string_view Word;  // as the parser reports it, in capitals
    TCommandHandler Handler;
    bool BeforeRegistration;  // may run before the connection is registered
    int MinParams;            // fewer parameters draw 461 with the word, and no handler
};

std::span<const TCommandRow> CommandTable();
// The row of `word` (in capitals), or null.
const TCommandRow* FindCommand(std::string_view word);
