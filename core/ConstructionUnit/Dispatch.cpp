// The dispatcher: parses each received line and runs its command's handler. NICK
// and USER run at any time; every other command waits for registration.
#include <array>
#include <string_view>

#include "core/ClientThread.h"
#include "core/ConstructionUnit/ConstructionUnit.h"
#include "core/ConstructionUnit/Handlers.h"

namespace {

void HandleSummon(TClientThread& connection, const TParsedMessage&) {
    connection.ErrSummonDisabled();
}

void HandleUsers(TClientThread& connection, const TParsedMessage&) {
    connection.ErrUsersDisabled();
}

struct TCommandEntry {
    std::string_view Word;
    TCommandHandler Handler;
    bool BeforeRegistration;  // may run before the connection is registered
};

// One row per command word the parser recognises.
constexpr std::array kCommands{
    TCommandEntry{"NICK", HandleNick, true},      TCommandEntry{"USER", HandleUser, true},
    TCommandEntry{"QUIT", HandleQuit, false},     TCommandEntry{"JOIN", HandleJoin, false},
    TCommandEntry{"PART", HandlePart, false},     TCommandEntry{"TOPIC", HandleTopic, false},
    TCommandEntry{"NAMES", HandleNames, false},   TCommandEntry{"LIST", HandleList, false},
    TCommandEntry{"INVITE", HandleInvite, false}, TCommandEntry{"KICK", HandleKick, false},
    TCommandEntry{"MODE", HandleMode, false},     TCommandEntry{"PRIVMSG", HandlePrivmsg, false},
    TCommandEntry{"NOTICE", HandleNotice, false}, TCommandEntry{"WHO", HandleWho, false},
    TCommandEntry{"WHOIS", HandleWhois, false},   TCommandEntry{"ISON", HandleIson, false},
    TCommandEntry{"AWAY", HandleAway, false},     TCommandEntry{"VERSION", HandleVersion, false},
    TCommandEntry{"PING", HandlePing, false},     TCommandEntry{"PONG", HandlePong, false},
    TCommandEntry{"SUMMON", HandleSummon, false}, TCommandEntry{"USERS", HandleUsers, false},
};

const TCommandEntry* FindCommand(std::string_view word) {
    for (const auto& entry : kCommands) {
        if (entry.Word == word)
            return &entry;
    }
    return nullptr;
}

}  // namespace

void DispatchLine(TClientThread& connection, std::string_view line) {
    TParsedMessage message;
    const TCommandEntry* command = nullptr;
    if (ParseLine(line, message))
        command = FindCommand(message.Command);
    if (command == nullptr) {
        connection.ErrUnknownCommand(message.Command);
        return;
    }
    if (!command->BeforeRegistration && !connection.Registered()) {
        connection.ErrNotRegistered();
        return;
    }
    command->Handler(connection, message);
}
