// The command table and the dispatcher: parses each received line and runs its
// command's handler. NICK and USER run at any time; every other command waits for
// registration.
#include <string_view>

#include "core/Connection.h"
#include "core/ConstructionUnit/CommandTable.h"
#include "core/ConstructionUnit/ConstructionUnit.h"
#include "core/ConstructionUnit/HandlerSupport.h"
#include "core/ConstructionUnit/Handlers.h"

namespace {

void HandleSummon(TConnection& connection, const TParsedMessage&) {
    SendReply(connection, TReply::SummonDisabled);
}

void HandleUsers(TConnection& connection, const TParsedMessage&) {
    SendReply(connection, TReply::UsersDisabled);
}

}  // namespace

// In the order the parser tries them.
// clang-format off
constexpr TCommandRow kCommands[] = {
    // word     handler         before registration, fewest parameters
    {"NICK",    HandleNick,     true,  0},
    {"USER",    HandleUser,     true,  4},
    {"JOIN",    HandleJoin,     false, 1},
    {"PART",    HandlePart,     false, 1},
    {"PRIVMSG", HandlePrivmsg,  false, 0},
    {"NOTICE",  HandleNotice,   false, 0},
    {"QUIT",    HandleQuit,     false, 0},
    {"MODE",    HandleMode,     false, 1},
    {"TOPIC",   HandleTopic,    false, 1},
    {"WHO",     HandleWho,      false, 0},
    {"ISON",    HandleIson,     false, 1},
    {"PING",    HandlePing,     false, 0},
    {"PONG",    HandlePong,     false, 0},
    {"AWAY",    HandleAway,     false, 0},
    {"WHOIS",   HandleWhois,    false, 0},
    {"NAMES",   HandleNames,    false, 0},
    {"LIST",    HandleList,     false, 0},
    {"KICK",    HandleKick,     false, 2},
    {"VERSION", HandleVersion,  false, 0},
    {"SUMMON",  HandleSummon,   false, 0},
    {"USERS",   HandleUsers,    false, 0},
    {"INVITE",  HandleInvite,   false, 2},
};
// clang-format on

std::span<const TCommandRow> CommandTable() {
    return kCommands;
}

const TCommandRow* FindCommand(std::string_view word) {
    for (const auto& row : kCommands) {
        if (row.Word == word)
            return &row;
    }
    return nullptr;
}

void DispatchLine(TConnection& connection, std::string_view line) {
    TParsedMessage message;
    const TCommandRow* command = nullptr;
    if (ParseLine(line, message))
        command = FindCommand(message.Command);
    if (command == nullptr) {
        SendReply(connection, TReply::UnknownCommand, {message.Command});
        return;
    }
    if (!command->BeforeRegistration && !connection.Registered()) {
        SendReply(connection, TReply::NotRegistered);
        return;
    }
    if (command->MinParams > 0 && message.Param(command->MinParams).empty()) {
        SendReply(connection, TReply::NeedMoreParams, {message.Command});
        return;
    }
    command->Handler(connection, message);
}
