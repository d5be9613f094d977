// The command table and the dispatcher: parses each received line and runs its
// command's handler in the server's client profile. NICK, USER and CAP run at any time;
// every other command waits for registration.
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
    // word     Exact handler   Modern handler      before       fewest parameters
    //                                              registration Exact, Modern
    {"NICK",    HandleNick,     HandleNickModern,   true,        0, 0},
    {"USER",    HandleUser,     nullptr,            true,        4, 4},
    {"JOIN",    HandleJoin,     HandleJoinList,     false,       1, 1},
    {"PART",    HandlePart,     HandlePartList,     false,       1, 1},
    {"PRIVMSG", HandlePrivmsg,  HandlePrivmsgList,  false,       0, 0},
    {"NOTICE",  HandleNotice,   HandleNoticeList,   false,       0, 0},
    {"QUIT",    HandleQuit,     nullptr,            false,       0, 0},
    {"MODE",    HandleMode,     HandleModeModern,   false,       1, 1},
    {"TOPIC",   HandleTopic,    nullptr,            false,       1, 1},
    {"WHO",     HandleWho,      HandleWhoMask,      false,       0, 0},
    {"ISON",    HandleIson,     nullptr,            false,       1, 1},
    {"PING",    HandlePing,     nullptr,            false,       0, 1},
    {"PONG",    HandlePong,     nullptr,            false,       0, 0},
    {"AWAY",    HandleAway,     nullptr,            false,       0, 0},
    {"WHOIS",   HandleWhois,    nullptr,            false,       0, 0},
    {"NAMES",   HandleNames,    HandleNamesList,    false,       0, 0},
    {"LIST",    HandleList,     HandleListList,     false,       0, 0},
    {"KICK",    HandleKick,     HandleKickModern,   false,       2, 2},
    {"VERSION", HandleVersion,  nullptr,            false,       0, 0},
    {"SUMMON",  HandleSummon,   nullptr,            false,       0, 0},
    {"USERS",   HandleUsers,    nullptr,            false,       0, 0},
    {"INVITE",  HandleInvite,   nullptr,            false,       2, 2},
    {"CAP",     nullptr,        HandleCap,          true,        1, 1},
};
// clang-format on

std::span<const TCommandRow> CommandTable() {
    return kCommands;
}

bool TCommandRow::LacksParams(const TParsedMessage& message, TClientProfile profile) const {
    if (profile == TClientProfile::Modern)
        return ModernMinParams > 0 && WithoutLeadingColon(message.Param(ModernMinParams)).empty();
    return MinParams > 0 && message.Param(MinParams).empty();
}

const TCommandRow* FindCommand(std::string_view word, TClientProfile profile) {
    for (const auto& row : kCommands) {
        if (row.Word == word && row.HandlerIn(profile) != nullptr)
            return &row;
    }
    return nullptr;
}

void DispatchLine(TConnection& connection, std::string_view line) {
    const TClientProfile profile = connection.Core.Dialect.Profile;
    TParsedMessage message;
    const TCommandRow* command = nullptr;
    if (ParseLine(line, message, profile))
        command = FindCommand(message.Command, profile);
    if (command == nullptr) {
        SendReply(connection, TReply::UnknownCommand, {message.Command});
        return;
    }
    if (!command->BeforeRegistration && !connection.Registered()) {
        SendReply(connection, TReply::NotRegistered);
        return;
    }
    if (command->LacksParams(message, profile)) {
        SendReply(connection, TReply::NeedMoreParams, {message.Command});
        return;
    }
    command->HandlerIn(profile)(connection, message);
}
