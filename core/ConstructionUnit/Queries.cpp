// The queries about users and the server (WHO, WHOIS, ISON, VERSION), the away text
// (AWAY) and the keep-alive pair (PING, PONG).
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "JapaneseTexts.h"
#include "core/ClientThread.h"
#include "core/ConstructionUnit/HandlerSupport.h"
#include "core/ConstructionUnit/Handlers.h"
#include "core/ConstructionUnit/Membership.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"

namespace {

// True when the user is a member of one of the asker's channels.
bool SharesChannel(const TUserData& asker, const TUserData& user) {
    return std::any_of(asker.Channels.begin(), asker.Channels.end(),
                       [&](const TChannelData* channel) { return IsMember(*channel, user); });
}

// An invisible user shows only to askers who share a channel with him.
bool IsVisibleTo(const TUserData& user, const TUserData& asker) {
    return !user.Invisible || SharesChannel(asker, user);
}

bool IsChanOpOn(const TChannelData& channel, const TUserData& user) {
    const TMemberFlags* flags = channel.MemberFlags(user.KeyWord());
    return flags != nullptr && flags->ChanOp;
}

// ---- WHO ---------------------------------------------------------------------------

// One 352 line; `channelField` is the channel's name, or "*" for a nick target.
void SendWhoEntry(TClientThread& connection, const TUserData& asker, std::string_view channelField,
                  const TUserData& user, bool chanOp) {
    connection.SendLine(ServerPrefix(connection) + " 352 " + asker.KeyWord() + " " +
                        std::string(channelField) + " ~" + user.UserName + " " + user.Host + " " +
                        connection.Core.Settings.ServerName + " " + user.KeyWord() + " H" +
                        (chanOp ? "@" : "") + " :0 " + user.RealName + "\r\n");
}

void SendEndOfWho(TClientThread& connection, const TUserData& asker, std::string_view name) {
    connection.SendLine(ServerPrefix(connection) + " 315 " + asker.KeyWord() + " " +
                        std::string(name) + " :End of /WHO list.\r\n");
}

void WhoOfChannel(TClientThread& connection, const TUserData& asker, const std::string& name) {
    const TChannelData* channel = connection.Core.Registry.Channels.Find(name);
    if (channel == nullptr) {
        connection.ErrNoSuchChannel(name);
        return;
    }
    const bool askerIsMember = IsMember(*channel, asker);
    if (askerIsMember || !channel->Secret) {
        for (int i = 0; i < channel->MemberCount() && connection.HasRoomForListing(); ++i) {
            const TUserData* member = channel->MemberAt(i);
            if (!askerIsMember && member->Invisible)
                continue;
            SendWhoEntry(connection, asker, channel->KeyWord(), *member,
                         channel->Members.FlagsAt(i)->ChanOp);
        }
    }
    SendEndOfWho(connection, asker, channel->KeyWord());
}

void WhoOfNick(TClientThread& connection, const TUserData& asker, const std::string& nick) {
    const TUserData* user = connection.Core.Registry.Users.Find(nick);
    if (user == nullptr) {
        connection.ErrNoSuchNick(nick);
        return;
    }
    if (!IsVisibleTo(*user, asker))
        return;
    SendWhoEntry(connection, asker, "*", *user, false);
    SendEndOfWho(connection, asker, user->KeyWord());
}

// ---- WHOIS -------------------------------------------------------------------------

int64_t IdleSeconds(const TUserData& user) {
    if (user.Connection == nullptr)
        return 0;
    return platform::WholeSecondsBetween(user.Connection->IdleSince(), platform::Now());
}

// The user's channels in the order of joining: "@" for an operator, "*" for a private one.
std::string WhoisChannelList(const TUserData& user) {
    std::string list;
    for (const TChannelData* channel : user.Channels) {
        if (!list.empty())
            list += ' ';
        if (IsChanOpOn(*channel, user))
            list += '@';
        list += channel->Private ? std::string("*") : channel->KeyWord();
    }
    return list;
}

// ":<server> <code> <asker> <nick>": the start of every WHOIS line.
std::string WhoisHead(const TClientThread& connection, std::string_view code,
                      const TUserData& asker, const TUserData& user) {
    return ServerPrefix(connection) + " " + std::string(code) + " " + asker.KeyWord() + " " +
           user.KeyWord();
}

void SendWhoisDetails(TClientThread& connection, const TUserData& asker, const TUserData& user) {
    const TSettings& settings = connection.Core.Settings;
    connection.SendLine(WhoisHead(connection, "311", asker, user) + " ~" + user.UserName + " " +
                        user.Host + " * :" + user.RealName + "\r\n");
    connection.SendLine(WhoisHead(connection, "312", asker, user) + " " + settings.ServerName +
                        " :" + settings.ServerInfo + "\r\n");
    connection.SendLine(WhoisHead(connection, "317", asker, user) + " " +
                        std::to_string(IdleSeconds(user)) + " :" + std::string(Texts::Whois317) +
                        "\r\n");
    connection.SendLine(WhoisHead(connection, "319", asker, user) + " " + WhoisChannelList(user) +
                        "\r\n");
}

// ---- ISON --------------------------------------------------------------------------

// The stored nicks of the asked users that are present, in the order asked.
std::string PresentNicks(TClientThread& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    std::string list;
    for (int k = 1; k <= TParsedMessage::MaxParams && !message.Param(k).empty(); ++k) {
        const TUserData* user = connection.Core.Registry.Users.Find(message.Param(k));
        if (user == nullptr)
            continue;
        if (!list.empty())
            list += ' ';
        list += user->KeyWord();
    }
    return list;
}

}  // namespace

void HandleWho(TClientThread& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    const TUserData* asker = OwnRecord(connection);
    if (asker == nullptr)
        return;
    const std::string& target = message.Param(1);
    if (BeginsLikeChannel(target)) {
        WhoOfChannel(connection, *asker, target);
    } else {
        WhoOfNick(connection, *asker, target);
    }
}

void HandleWhois(TClientThread& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    const TUserData* asker = OwnRecord(connection);
    if (asker == nullptr)
        return;
    const std::string& nick = message.Param(2).empty() ? message.Param(1) : message.Param(2);
    const TUserData* user = connection.Core.Registry.Users.Find(nick);
    if (user == nullptr) {
        connection.ErrNoSuchNick(nick);
        return;
    }
    if (IsVisibleTo(*user, *asker))
        SendWhoisDetails(connection, *asker, *user);
    connection.SendLine(WhoisHead(connection, "318", *asker, *user) + " :End of Whois list\r\n");
}

void HandleIson(TClientThread& connection, const TParsedMessage& message) {
    if (message.Param(1).empty()) {
        connection.ErrNeedMoreParams("ISON");
        return;
    }
    const std::string list = PresentNicks(connection, message);
    connection.SendLine(ServerPrefix(connection) + " 303 :" + list + "\r\n");
}

void HandleAway(TClientThread& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    user->AwayMessage = platform::CutAtCharacter(WithoutLeadingColon(message.Param(1)),
                                                 TUserData::kMaxAwayMessageBytes);
    const bool away = !user->AwayMessage.empty();
    connection.SendLine(ServerPrefix(connection) + (away ? " 306 :" : " 305 :") +
                        std::string(away ? Texts::Away306 : Texts::Away305) + "\r\n");
}

void HandleVersion(TClientThread& connection, const TParsedMessage& /*message*/) {
    const TServerCore& core = connection.Core;
    connection.SendLine(ServerPrefix(connection) + " 351 " + connection.Nick + " " +
                        core.ProgramFileName + "-" + core.ProductVersion + " " +
                        core.Settings.ServerName + " :" + core.ProgramFileName + "\r\n");
}

void HandlePing(TClientThread& connection, const TParsedMessage& /*message*/) {
    connection.SendLine(ServerPrefix(connection) + " PONG " + connection.Core.Settings.ServerName +
                        "\r\n");
}

void HandlePong(TClientThread& connection, const TParsedMessage& /*message*/) {
    connection.MarkPongReceived();
}
