// The command table: every command the server knows, one row each, with its handler in
// each client profile. The parser recognises the words of the rows the profile has;
// the dispatcher runs the profile's handler once the connection may use it and the
// line carries the parameters it needs.
#pragma once

#include <span>
#include <string_view>

#include "core/ChatParser.h"
#include "core/Dialect.h"

class TConnection;

using TCommandHandler = void (*)(TConnection& connection, const TParsedMessage& message);

struct TCommandRow {
    std::string_view Word;    // as the parser reports it, in capitals
    TCommandHandler Exact;    // null: a command of the Modern profile only
    TCommandHandler Modern;   // null: the Exact handler
    bool BeforeRegistration;  // may run before the connection is registered
    // Fewer parameters draw 461 with the word, and no handler. In Modern a parameter that
    // is only the ":" of an empty last parameter counts as missing.
    int MinParams;
    int ModernMinParams;

    // The handler in `profile`; null when the profile does not know the command.
    TCommandHandler HandlerIn(TClientProfile profile) const {
        return profile == TClientProfile::Modern && Modern != nullptr ? Modern : Exact;
    }
    // True when the line lacks a parameter the command needs in `profile`.
    bool LacksParams(const TParsedMessage& message, TClientProfile profile) const;
};

std::span<const TCommandRow> CommandTable();
// The row of `word` (in capitals) that `profile` knows, or null.
const TCommandRow* FindCommand(std::string_view word, TClientProfile profile);
