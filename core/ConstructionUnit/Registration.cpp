// Registration and leaving: NICK, USER, the welcome step with the message of the
// day, QUIT, the quit broadcast of connections the server ends, and the removal
// of a user record when its connection is over.
#include <string>

#include "JapaneseTexts.h"
#include "core/Connection.h"
#include "core/ConstructionUnit/ConstructionUnit.h"
#include "core/ConstructionUnit/FanOut.h"
#include "core/ConstructionUnit/HandlerSupport.h"
#include "core/ConstructionUnit/Handlers.h"
#include "core/ConstructionUnit/Membership.h"
#include "core/ConstructionUnit/Registration.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"

namespace {

// nick + "[~" + user + "@" + host + "]": how closing errors name a user.
std::string ClosingName(const TUserData& user) {
    return user.KeyWord() + "[~" + user.UserName + "@" + user.Host + "]";
}

// What a client may rely on, for the Modern profile's 005 line. The keys compare by
// ASCII letters (nicknames are ASCII; code page 932's double-byte characters keep
// their case), which is what "ascii" names.
std::string SupportedFeatures(const TServerCore& core) {
    return "CHANTYPES=#& PREFIX=(ov)@+ CHANMODES=b,k,l,imnpst MODES=" +
           std::to_string(TParsedMessage::MaxParams - 2) +
           " NICKLEN=" + std::to_string(core.Dialect.NickLength()) +
           " CHANNELLEN=" + std::to_string(TChannelData::kMaxNameBytes) +
           " TOPICLEN=" + std::to_string(TChannelData::kMaxTopicBytes) +
           " CHANLIMIT=#&:" + std::to_string(TUserData::kMaxChannels) +
           " NETWORK=" + core.Settings.ServerName + " CASEMAPPING=ascii";
}

void SendMotd(TConnection& connection, const std::string& server) {
    SendReply(connection, TReply::MotdStart, {server});
    SendReply(connection, TReply::Motd, {platform::FormatDayMonthYearTime(platform::Now())});
    for (const auto& line : connection.Core.Settings.MotdLines)
        SendReply(connection, TReply::Motd, {line});
    SendReply(connection, TReply::EndOfMotd);
}

int WelcomedUsers(const TClientData& registry) {
    int welcomed = 0;
    for (int i = 0; i < registry.Users.Count(); ++i)
        welcomed += IsWelcomed(*registry.Users.At(i)) ? 1 : 0;
    return welcomed;
}

// The welcome step, run by whichever of NICK and USER completes the pair; the
// caller holds the registry's Lock. The limit counts the users welcomed so far, so
// connections that never register take no user's place; of connections from one
// host that register at the same time, the first to get here is the one welcomed.
void SendWelcome(TConnection& connection, TUserData& user) {
    const TClientData& registry = connection.Core.Registry;
    if (WelcomedUsers(registry) >= connection.Core.Settings.MaxConnection) {
        connection.SendClosingError(ClosingName(user) +
                                    std::string(connection.Core.Dialect.Texts().RefuseOverLimit));
        return;
    }
    if (connection.SameHost || HostHasUser(registry, connection, true)) {
        connection.SendClosingError(ClosingName(user) +
                                    std::string(connection.Core.Dialect.Texts().RefuseSameHost));
        return;
    }
    if (connection.BadUserName) {
        connection.SendClosingError(user.KeyWord() + "[unknown@" + user.Host + "]" +
                                    std::string(connection.Core.Dialect.Texts().RefuseBadUserName));
        return;
    }
    user.SignedOnAt = SecondsSince1970();
    const TServerCore& core = connection.Core;
    const std::string& server = core.Settings.ServerName;
    const std::string others = std::to_string(core.Host.ActiveConnections() - 1);
    SendReply(connection, TReply::Welcome, {user.KeyWord(), user.UserName, user.Host});
    SendReply(connection, TReply::YourHost, {server, core.ProgramFileName, core.ProductVersion});
    SendReply(connection, TReply::Created, {core.StartedAt});
    SendReply(connection, TReply::MyInfo,
              {server, core.ProgramFileName, core.ProductVersion, "iosw", "biklmnopstv", "bklov"});
    SendReply(connection, TReply::ISupport, {SupportedFeatures(core)});
    SendReply(connection, TReply::LUserClient, {others});
    SendReply(connection, TReply::LUserUnknown);
    SendReply(connection, TReply::LUserChannels,
              {std::to_string(connection.Core.Settings.MaxChannel)});
    SendReply(connection, TReply::LUserMe, {others});
    SendMotd(connection, server);
    connection.MarkActive();
}

// Tells the user's neighbours that it quit and takes it out of all its channels.
void AnnounceQuitAndLeaveAll(TClientData& registry, TUserData& user, std::string_view reason) {
    SendToNeighbours(user, "QUIT :" + std::string(reason), true);
    while (!user.Channels.empty())
        LeaveChannel(registry, user, *user.Channels.front());
}

// How NICK treats a registered user's change in a client profile.
struct TNickRules {
    bool TellsUserOnNoChannel;  // a user on no channel gets its NICK line too
    bool TakesOwnCaseChange;    // "alice" may become "Alice" (in Exact that name is in use)
};
constexpr TNickRules kExactNick{false, false};
constexpr TNickRules kModernNick{true, true};

void ChangeNick(TConnection& connection, const std::string& nickname, TNickRules rules) {
    TUserData* user = OwnRecord(connection);
    if (user == nullptr) {
        SendReply(connection, TReply::NoSuchNick, {connection.Nick});
        return;
    }
    // The user hears it through its channels (the NICK line goes out under the old name).
    SendToNeighbours(*user, "NICK :" + nickname, false);
    if (rules.TellsUserOnNoChannel && user->Channels.empty())
        SendToUser(*user, *user, "NICK :" + nickname);
    connection.Nick = nickname;
    user->SetKeyWord(nickname);
}

// A new record for the connection's user, made by the first of NICK and USER.
TUserData* NewRecord(TConnection& connection) {
    TUserData* user = connection.Core.Registry.Users.Add();
    user->Host = connection.PeerHost;
    user->Address = connection.PeerAddress;
    user->Connection = &connection;
    return user;
}

void GiveFirstNick(TConnection& connection, const std::string& nickname) {
    auto& registry = connection.Core.Registry;
    connection.Nick = nickname;
    TUserData* user = registry.UserOfConnection(&connection);
    if (user == nullptr)
        user = NewRecord(connection);
    user->SetKeyWord(nickname);
    user->NickGiven = true;
    if (user->UserGiven)
        SendWelcome(connection, *user);
}

}  // namespace

bool IsValidNick(std::string_view text) {
    for (const unsigned char byte : text) {
        if (byte < '0' || byte > '~' || byte == '@')
            return false;
    }
    return true;
}

bool IsValidUserName(std::string_view text) {
    for (const unsigned char byte : text) {
        if (byte < '!' || byte > '~')
            return false;
    }
    return true;
}

bool HostHasUser(const TClientData& registry, const TConnection& connection, bool welcomedOnly) {
    for (int i = 0; i < registry.Users.Count(); ++i) {
        const TUserData& user = *registry.Users.At(i);
        if (user.Connection == &connection || (welcomedOnly && !IsWelcomed(user)))
            continue;
        if (user.Host == connection.PeerHost || user.Address == connection.PeerAddress)
            return true;
    }
    return false;
}

namespace {

void TakeNick(TConnection& connection, const std::string& nickname, TNickRules rules) {
    if (nickname.empty()) {
        SendReply(connection, TReply::NoNicknameGiven);
        return;
    }
    if (nickname.size() > connection.Core.Dialect.NickLength() || !IsValidNick(nickname)) {
        SendReply(connection, TReply::ErroneousNickname, {nickname});
        return;
    }
    auto& users = connection.Core.Registry.Users;
    std::lock_guard lock(connection.Core.Registry.Lock);
    const TUserData* holder = users.Find(nickname);
    const bool ownCaseChange = rules.TakesOwnCaseChange && holder != nullptr &&
                               holder->Connection == &connection && !connection.Nick.empty();
    if (ownCaseChange && holder->KeyWord() == nickname)
        return;  // no change at all
    if (holder != nullptr && !ownCaseChange) {
        SendReply(connection, TReply::NicknameInUse, {nickname});
    } else if (connection.Nick.empty()) {
        GiveFirstNick(connection, nickname);
    } else {
        ChangeNick(connection, nickname, rules);
    }
}

}  // namespace

void HandleNick(TConnection& connection, const TParsedMessage& message) {
    TakeNick(connection, message.Param(1), kExactNick);
}

void HandleNickModern(TConnection& connection, const TParsedMessage& message) {
    TakeNick(connection, std::string(WithoutLeadingColon(message.Param(1))), kModernNick);
}

void HandleUser(TConnection& connection, const TParsedMessage& message) {
    auto& registry = connection.Core.Registry;
    std::lock_guard lock(registry.Lock);
    TUserData* user = registry.UserOfConnection(&connection);
    if (user == nullptr) {
        user = NewRecord(connection);
    } else if (!user->UserName.empty()) {
        SendReply(connection, TReply::AlreadyRegistered);
        return;
    }
    connection.BadUserName = !IsValidUserName(message.Param(1));
    user->UserName = platform::CutAtCharacter(message.Param(1), TUserData::kMaxUserNameBytes);
    user->RealName = platform::CutAtCharacter(WithoutLeadingColon(message.Param(4)),
                                              TUserData::kMaxRealNameBytes);
    user->UserGiven = true;
    if (user->NickGiven)
        SendWelcome(connection, *user);
}

// Capability negotiation: this server has no capabilities to offer, so a client that
// asks for the list hears that it is empty and goes on; its end is taken silently.
void HandleCap(TConnection& connection, const TParsedMessage& message) {
    if (platform::UpperCase(message.Param(1)) == "LS")
        SendReply(connection, TReply::CapabilityList);
}

void HandleQuit(TConnection& connection, const TParsedMessage& message) {
    const std::string reason(WithoutLeadingColon(message.Param(1)));
    auto& registry = connection.Core.Registry;
    std::lock_guard lock(registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    AnnounceQuitAndLeaveAll(registry, *user, reason);
    connection.SendClosingError(ClosingName(*user) + " " + reason);
}

void QuitFromAll(TConnection& connection, std::string_view nick, std::string_view reason) {
    auto& registry = connection.Core.Registry;
    std::lock_guard lock(registry.Lock);
    TUserData* user = registry.Users.Find(nick);
    if (user != nullptr)
        AnnounceQuitAndLeaveAll(registry, *user, reason);
}

void RemoveConnection(TConnection& connection) {
    auto& registry = connection.Core.Registry;
    std::lock_guard lock(registry.Lock);
    TUserData* user = registry.UserOfConnection(&connection);
    if (user == nullptr)
        return;
    // A connection that ended without a quit (a failed write, the server stopping)
    // still has its user in channels: its neighbours are told it is gone.
    if (!user->Channels.empty())
        AnnounceQuitAndLeaveAll(registry, *user, connection.Core.Dialect.Texts().QuitReadError);
    registry.DeleteUser(user);
}
