// Line parser: turns one line received from a client into a prefix, a command word
// from the fixed command table and up to 15 parameters, and tells whether the line
// is a known, complete command. Stateless and safe to call from any thread.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/Dialect.h"

// One parsed line. All fields are byte strings in the client's code page, never converted.
struct TParsedMessage {
    static constexpr int MaxParams = 15;

    std::string Prefix;   // text between a leading ":" and the first blank; empty if none
    std::string Command;  // table spelling when recognised, else the first word as typed
    std::array<std::string, MaxParams> Params;  // Params[0] is the first parameter

    // The k-th parameter, 1-based as the protocol numbers them; empty when absent.
    const std::string& Param(int k) const;
};

// Fills `message` from `line` (the line including its CR LF); every field is cleared first.
// Returns true when the line is a recognised command of `profile` that is complete: its
// CR LF was reached while taking parameters, or the command word stood alone before CR LF.
// On false, `Command` holds the word to name in the unknown-command reply.
bool ParseLine(std::string_view line, TParsedMessage& message,
               TClientProfile profile = TClientProfile::Exact);
