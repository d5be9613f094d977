// The queries about users and the server (WHO, WHOIS, ISON, VERSION), the away text
// (AWAY) and the keep-alive pair (PING, PONG).
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "JapaneseTexts.h"
#include "core/Connection.h"
#include "core/ConstructionUnit/FanOut.h"
#include "core/ConstructionUnit/HandlerSupport.h"
#include "core/ConstructionUnit/Handlers.h"
#include "core/ConstructionUnit/Membership.h"
#include "core/TextUtil.h"
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

// ---- WHO ---------------------------------------------------------------------------

// One 352 line; `channelField` is the channel's name, or "*" for a nick target.
void SendWhoEntry(TConnection& connection, std::string_view channelField, const TUserData& user,
                  bool chanOp) {
    SendReply(
        connection, TReply::WhoReply,
        {channelField, user.UserName, user.Host, connection.Core.Settings.ServerName,
         user.KeyWord(), chanOp ? "@" : "", user.RealName, user.AwayMessage.empty() ? "H" : "G"});
}

// The members of a channel (the invisible ones only to a member), then 315 naming the
// channel, or `mask` as asked where the profile names the mask.
void WhoOfChannel(TConnection& connection, const TUserData& asker, const std::string& name,
                  std::string_view mask) {
    const TChannelData* channel = connection.Core.Registry.Channels.Find(name);
    if (channel == nullptr) {
        SendReply(connection, TReply::NoSuchChannel, {name});
        return;
    }
    const bool askerIsMember = IsMember(*channel, asker);
    if (askerIsMember || !channel->Secret) {
        for (int i = 0; i < channel->MemberCount() && connection.HasRoomForListing(); ++i) {
            const TUserData* member = channel->MemberAt(i);
            if (!askerIsMember && member->Invisible)
                continue;
            SendWhoEntry(connection, channel->KeyWord(), *member,
                         channel->Members.FlagsAt(i)->ChanOp);
        }
    }
    SendReply(connection, TReply::EndOfWho, {channel->KeyWord(), mask});
}

void WhoOfNick(TConnection& connection, const TUserData& asker, const std::string& nick) {
    const TUserData* user = connection.Core.Registry.Users.Find(nick);
    if (user == nullptr) {
        SendReply(connection, TReply::NoSuchNick, {nick});
        return;
    }
    if (!IsVisibleTo(*user, asker))
        return;
    SendWhoEntry(connection, "*", *user, false);
    SendReply(connection, TReply::EndOfWho, {user->KeyWord(), nick});
}

// True when `text` matches `mask`, where "*" stands for any run of bytes and "?" for one,
// ASCII letters compared without regard to case.
bool MatchesMask(std::string_view mask, std::string_view text) {
    std::size_t m = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (m < mask.size() && (mask[m] == '?' || AsciiUpper(mask[m]) == AsciiUpper(text[t]))) {
            ++m;
            ++t;
        } else if (m < mask.size() && mask[m] == '*') {
            star = m++;
            resume = t;
        } else if (star != std::string_view::npos) {
            m = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

// The users a mask names: by nickname, by "nick!~user@host", by host or by real name.
bool MaskNames(std::string_view mask, const TUserData& user) {
    return MatchesMask(mask, user.KeyWord()) || MatchesMask(mask, user.Host) ||
           MatchesMask(mask, user.RealName) ||
           MatchesMask(mask, std::string_view(UserPrefix(user)).substr(1));
}

// Every user the mask names that the asker may see, then 315 naming the mask.
void WhoOfMask(TConnection& connection, const TUserData& asker, std::string_view mask) {
    const auto& users = connection.Core.Registry.Users;
    for (int i = 0; i < users.Count() && connection.HasRoomForListing(); ++i) {
        const TUserData& user = *users.At(i);
        if (IsWelcomed(user) && IsVisibleTo(user, asker) && MaskNames(mask, user))
            SendWhoEntry(connection, "*", user, false);
    }
    SendReply(connection, TReply::EndOfWho, {mask, mask});
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
        if (IsChanOp(*channel, user))
            list += '@';
        list += channel->Private ? std::string("*") : channel->KeyWord();
    }
    return list;
}

void SendWhoisDetails(TConnection& connection, const TUserData& user) {
    const TSettings& settings = connection.Core.Settings;
    const std::string& nick = user.KeyWord();
    SendReply(connection, TReply::WhoisUser, {nick, user.UserName, user.Host, user.RealName});
    SendReply(connection, TReply::WhoisServer, {nick, settings.ServerName, settings.ServerInfo});
    if (!user.AwayMessage.empty())
        SendReply(connection, TReply::WhoisAway, {nick, user.AwayMessage});
    SendReply(connection, TReply::WhoisIdle,
              {nick, std::to_string(IdleSeconds(user)), std::to_string(user.SignedOnAt)});
    SendReply(connection, TReply::WhoisChannels, {nick, WhoisChannelList(user)});
}

// ---- ISON --------------------------------------------------------------------------

// The stored nicks of the asked users that are present, in the order asked.
std::string PresentNicks(TConnection& connection, const TParsedMessage& message) {
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

void HandleWho(TConnection& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    const TUserData* asker = OwnRecord(connection);
    if (asker == nullptr)
        return;
    const std::string& target = message.Param(1);
    if (BeginsLikeChannel(target)) {
        WhoOfChannel(connection, *asker, target, target);
    } else {
        WhoOfNick(connection, *asker, target);
    }
}

void HandleWhoMask(TConnection& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    const TUserData* asker = OwnRecord(connection);
    if (asker == nullptr)
        return;
    const std::string mask = message.Param(1).empty() ? "*" : message.Param(1);
    const TUserData* named = connection.Core.Registry.Users.Find(mask);
    if (BeginsLikeChannel(mask) && connection.Core.Registry.Channels.Find(mask) != nullptr) {
        WhoOfChannel(connection, *asker, mask, mask);
    } else if (named != nullptr && IsWelcomed(*named)) {
        // A nickname named whole shows its user, invisible or not.
        SendWhoEntry(connection, "*", *named, false);
        SendReply(connection, TReply::EndOfWho, {named->KeyWord(), mask});
    } else {
        WhoOfMask(connection, *asker, mask);
    }
}

void HandleWhois(TConnection& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    const TUserData* asker = OwnRecord(connection);
    if (asker == nullptr)
        return;
    const std::string& nick = message.Param(2).empty() ? message.Param(1) : message.Param(2);
    const TUserData* user = connection.Core.Registry.Users.Find(nick);
    if (user == nullptr) {
        SendReply(connection, TReply::NoSuchNick, {nick});
        SendReply(connection, TReply::EndOfWhoisOfNobody, {nick});
        return;
    }
    if (IsVisibleTo(*user, *asker))
        SendWhoisDetails(connection, *user);
    SendReply(connection, TReply::EndOfWhois, {user->KeyWord()});
}

void HandleIson(TConnection& connection, const TParsedMessage& message) {
    const std::string list = PresentNicks(connection, message);
    SendReply(connection, TReply::IsOn, {list});
}

void HandleAway(TConnection& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    user->AwayMessage = platform::CutAtCharacter(WithoutLeadingColon(message.Param(1)),
                                                 TUserData::kMaxAwayMessageBytes);
    const bool away = !user->AwayMessage.empty();
    SendReply(connection, away ? TReply::NowAway : TReply::UnAway);
}

void HandleVersion(TConnection& connection, const TParsedMessage& /*message*/) {
    const TServerCore& core = connection.Core;
    SendReply(connection, TReply::Version,
              {core.ProgramFileName, core.ProductVersion, core.Settings.ServerName});
}

void HandlePing(TConnection& connection, const TParsedMessage& message) {
    SendReply(connection, TReply::Pong,
              {connection.Core.Settings.ServerName, WithoutLeadingColon(message.Param(1))});
}

void HandlePong(TConnection& connection, const TParsedMessage& /*message*/) {
    connection.MarkPongReceived();
}
