// The channel commands: JOIN (with keys, bans, limits and invitations, and the names
// listing sent on joining), PART, TOPIC, INVITE, KICK, and the listings NAMES and LIST.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Connection.h"
#include "core/ConstructionUnit/BanMask.h"
#include "core/ConstructionUnit/FanOut.h"
#include "core/ConstructionUnit/HandlerSupport.h"
#include "core/ConstructionUnit/Handlers.h"
#include "core/ConstructionUnit/Membership.h"
#include "core/TextUtil.h"
#include "platform/CodePage.h"

namespace {

// The names part of one 353 line on joining is cut before a nickname that would take it
// past this many bytes (the blank and the "@" before that nickname are not counted).
constexpr std::size_t JoinNamesLineBytes = 500;

// How the listings show a private channel's name.
const std::string kHiddenName = "*";

// Member flags of a channel's creator and of later joiners.
constexpr uint16_t CreatorFlags = 1;  // ChanOp
constexpr uint16_t JoinerFlags = 0;

// The number of parameters from the first on that `accepted` holds for, up to the first
// it does not hold for.
template <class Predicate>
int LeadingParamCount(const TParsedMessage& message, Predicate accepted) {
    int count = 0;
    while (count < TParsedMessage::MaxParams && accepted(message.Param(count + 1))) {
        ++count;
    }
    return count;
}

bool IsGiven(std::string_view param) {
    return !param.empty();
}

// A member as the names listings show it: "@" before a channel operator's nickname.
std::string ListedName(const TChannelData& channel, int index) {
    const std::string& nick = channel.MemberAt(index)->KeyWord();
    return channel.Members.FlagsAt(index)->ChanOp != 0 ? "@" + nick : nick;
}

// How a names line marks the channel: "@" secret, "*" private, "=" public.
std::string_view Kind(const TChannelData& channel) {
    return channel.Secret ? "@" : channel.Private ? "*" : "=";
}

bool HoldsInvitation(const TUserData& user, std::string_view channelName) {
    return std::any_of(
        user.Invitations.begin(), user.Invitations.end(),
        [&](const std::string& name) { return SameTextIgnoringCase(name, channelName); });
}

// ---- JOIN ----------------------------------------------------------------------------

// A JOIN parameter names a channel when it has two bytes or more and begins with "#" or "&".
bool IsChannelName(std::string_view name) {
    return name.size() >= 2 && BeginsLikeChannel(name);
}

// The key given for the k-th of `channelCount` channels: the parameter as far behind the
// channel names as the channel is behind the start; empty when that lies past the last
// parameter a line can carry.
std::string_view KeyForChannel(const TParsedMessage& message, int channelCount, int k) {
    const int keyPosition = channelCount + k;
    if (keyPosition > TParsedMessage::MaxParams) {
        return {};
    }
    return message.Param(keyPosition);
}

// The members in joining order, channel operators marked with "@", cut into 353 lines
// whose names part ends before it would pass JoinNamesLineBytes; then the 366 line.
void SendNamesOnJoin(TConnection& connection, const TChannelData& channel) {
    std::string names;
    for (int i = 0; i < channel.MemberCount(); ++i) {
        const std::string& nick = channel.MemberAt(i)->KeyWord();
        if (names.size() + nick.size() > JoinNamesLineBytes) {
            SendReply(connection, TReply::NamesOnJoin, {channel.KeyWord(), names, Kind(channel)});
            names.clear();
        }
        if (!names.empty())
            names += ' ';
        names += ListedName(channel, i);
    }
    if (!names.empty())
        SendReply(connection, TReply::NamesOnJoin, {channel.KeyWord(), names, Kind(channel)});
    SendReply(connection, TReply::EndOfNamesOnJoin, {channel.KeyWord()});
}

// A user already on as many channels as a user may be gets 405 instead.
bool MayJoinAnother(TConnection& connection, const TUserData& user, std::string_view name) {
    if (user.Channels.size() < TUserData::kMaxChannels)
        return true;
    SendReply(connection, TReply::TooManyChannels, {name});
    return false;
}

void AddJoiner(TConnection& connection, TUserData& user, TChannelData& channel,
               uint16_t memberFlags) {
    channel.AddMember(&user, memberFlags);
    user.AddChannel(&channel);
    SendToChannel(channel, user, "JOIN :" + channel.KeyWord(), false);
    if (!channel.Topic.empty()) {
        SendReply(connection, TReply::TopicOnJoin, {channel.KeyWord(), channel.Topic});
        SendReply(connection, TReply::TopicWhoTime,
                  {channel.KeyWord(), channel.TopicSetter, std::to_string(channel.TopicSetAt)});
    }
    SendNamesOnJoin(connection, channel);
}

// The checks for joining a channel that exists, in their order: key, ban, limit,
// invitation; a member already there is left alone.
void JoinExisting(TConnection& connection, TUserData& user, TChannelData& channel,
                  std::string_view name, std::string_view key) {
    if (TrimControls(key) != TrimControls(channel.Key)) {
        SendReply(connection, TReply::BadChannelKey, {name});
    } else if (IsBanned(user, channel, connection.Core.Dialect.BansIgnoreCase())) {
        SendReply(connection, TReply::BannedFromChannel, {channel.KeyWord()});
    } else if (channel.Limit != 0 && channel.MemberCount() >= channel.Limit) {
        SendReply(connection, TReply::ChannelIsFull, {name});
    } else if (channel.InviteOnly && !HoldsInvitation(user, channel.KeyWord())) {
        SendReply(connection, TReply::InviteOnlyChannel, {name});
    } else if (channel.FindMember(user.KeyWord()) == nullptr &&
               MayJoinAnother(connection, user, name)) {
        AddJoiner(connection, user, channel, JoinerFlags);
    }
}

void JoinOneChannel(TConnection& connection, TUserData& user, const std::string& name,
                    std::string_view key) {
    TClientData& registry = connection.Core.Registry;
    if (name.size() > TChannelData::kMaxNameBytes) {
        SendReply(connection, TReply::NoSuchChannel,
                  {name});  // no channel has so long a name, nor may have
    } else if (TChannelData* channel = registry.Channels.Find(name)) {
        JoinExisting(connection, user, *channel, name, key);
    } else if (registry.Channels.Find(TrimControls(name)) != nullptr) {
        // The name differs from an existing channel's only by trailing control bytes,
        // which naming a channel trims: it can be neither found nor created.
        SendReply(connection, TReply::NoSuchChannel, {name});
    } else if (MayJoinAnother(connection, user, name)) {
        TChannelData* created = registry.Channels.Add();
        created->SetKeyWord(name);
        created->CreatedAt = SecondsSince1970();
        AddJoiner(connection, user, *created, CreatorFlags);
    }
}

// ---- PART, TOPIC, INVITE, KICK helpers -----------------------------------------------

// Leaves the named channel, telling its members `message`; false (after the error reply)
// when it does not exist or the user is not on it.
bool PartChannel(TConnection& connection, TUserData& user, const std::string& name,
                 std::string_view message) {
    TClientData& registry = connection.Core.Registry;
    TChannelData* channel = registry.Channels.Find(name);
    if (channel == nullptr) {
        SendReply(connection, TReply::NoSuchChannel, {name});
        return false;
    }
    if (!IsMember(*channel, user)) {
        SendReply(connection, TReply::NotOnChannel, {user.KeyWord(), channel->KeyWord()});
        return false;
    }
    SendToChannel(*channel, user, "PART " + channel->KeyWord() + " :" + std::string(message),
                  false);
    LeaveChannel(registry, user, *channel);
    return true;
}

// Leaves each named channel in turn, the nickname as the message; stops at the first
// that does not exist or that the user is not on.
void PartChannels(TConnection& connection, TUserData& user, const TParsedMessage& message) {
    const int channelCount = LeadingParamCount(message, IsGiven);
    for (int k = 1; k <= channelCount; ++k) {
        if (!PartChannel(connection, user, message.Param(k), user.KeyWord()))
            return;
    }
}

void SetTopic(TConnection& connection, TUserData& user, TChannelData& channel,
              std::string_view newTopic) {
    if (!IsMember(channel, user)) {
        SendReply(connection, TReply::NotOnChannel, {user.KeyWord(), channel.KeyWord()});
    } else if (!channel.TopicLocked || IsChanOp(channel, user)) {
        channel.Topic =
            platform::CutAtCharacter(WithoutLeadingColon(newTopic), TChannelData::kMaxTopicBytes);
        channel.TopicSetter = user.KeyWord();
        channel.TopicSetAt = SecondsSince1970();
        SendToChannel(channel, user, "TOPIC " + channel.KeyWord() + " :" + channel.Topic, false);
    } else {
        SendReply(connection, TReply::ChanOpPrivilegesNeeded, {channel.KeyWord()});
    }
}

void ReportTopic(TConnection& connection, const TChannelData& channel) {
    if (channel.Topic.empty()) {
        SendReply(connection, TReply::NoTopic, {channel.KeyWord()});
    } else {
        SendReply(connection, TReply::Topic, {channel.KeyWord(), channel.Topic});
    }
}

void Invite(TConnection& connection, const TUserData& user, TUserData& target,
            const TChannelData& channel) {
    SendToUser(target, user, "INVITE " + target.KeyWord() + " " + channel.KeyWord());
    if (!HoldsInvitation(target, channel.KeyWord())) {
        // The oldest invitation makes room for a new one beyond the limit.
        if (target.Invitations.size() >= TUserData::kMaxInvitations)
            target.Invitations.erase(target.Invitations.begin());
        target.Invitations.push_back(channel.KeyWord());
    }
    SendReply(connection, TReply::Inviting, {channel.KeyWord(), target.KeyWord()});
}

void Kick(TConnection& connection, TUserData& user, TUserData& target, TChannelData& channel,
          std::string_view comment) {
    SendToChannel(channel, user,
                  "KICK " + channel.KeyWord() + " " + target.KeyWord() + " :" +
                      std::string(WithoutLeadingColon(comment)),
                  false);
    LeaveChannel(connection.Core.Registry, target, channel);
}

// ---- NAMES, LIST ---------------------------------------------------------------------

// The one 353 line of a channel for NAMES, however long; invisible members are left out
// unless the requester is on the channel.
void SendNamesLine(TConnection& connection, const TUserData& user, const TChannelData& channel) {
    const bool userIsMember = IsMember(channel, user);
    std::string names;
    for (int i = 0; i < channel.MemberCount(); ++i) {
        if (channel.MemberAt(i)->Invisible && !userIsMember)
            continue;
        if (!names.empty())
            names += ' ';
        names += ListedName(channel, i);
    }
    const std::string& shownName = channel.Private ? kHiddenName : channel.KeyWord();
    if (channel.Private && !userIsMember)
        SendReply(connection, TReply::NamesOfHiddenChannel, {shownName, names});
    else
        SendReply(connection, TReply::NamesOnJoin, {shownName, names, Kind(channel)});
}

// The names of one channel asked for; a channel that does not exist gets 403 in Exact
// and nothing in Modern, whose 366 follows every channel asked for.
void SendChannelNames(TConnection& connection, const TUserData& user, const std::string& name) {
    if (const TChannelData* channel = connection.Core.Registry.Channels.Find(name)) {
        SendNamesLine(connection, user, *channel);
    } else {
        SendReply(connection, TReply::NoSuchChannelListed, {name});
    }
    SendReply(connection, TReply::EndOfNamesOfChannel, {name});
}

// The nicknames of the users on no channel, in collection order; invisible users are left
// out, except the requester.
std::string UsersOnNoChannel(const TClientData& registry, const TUserData& requester) {
    std::string list;
    for (int i = 0; i < registry.Users.Count(); ++i) {
        const TUserData& user = *registry.Users.At(i);
        if (!user.Channels.empty() || (user.Invisible && &user != &requester))
            continue;
        if (!list.empty())
            list += ' ';
        list += user.KeyWord();
    }
    return list;
}

// NAMES without parameters: every channel that is not secret, then the users on no channel.
void SendAllNames(TConnection& connection, const TUserData& user) {
    const TClientData& registry = connection.Core.Registry;
    for (int i = 0; i < registry.Channels.Count() && connection.HasRoomForListing(); ++i) {
        const TChannelData& channel = *registry.Channels.At(i);
        if (!channel.Secret)
            SendNamesLine(connection, user, channel);
    }
    const std::string usersOnNoChannel = UsersOnNoChannel(registry, user);
    if (!usersOnNoChannel.empty())
        SendReply(connection, TReply::NamesOfNoChannel, {usersOnNoChannel});
}

// The 322 line of one channel, showing `name` as passed; a secret channel gives none
// (in Modern, its members see it).
void SendListEntry(TConnection& connection, const TUserData& asker, const std::string& name) {
    const TChannelData* channel = connection.Core.Registry.Channels.Find(name);
    if (channel == nullptr) {
        SendReply(connection, TReply::NoSuchChannelListed, {name});
        return;
    }
    if (channel->Secret) {
        if (IsMember(*channel, asker))
            SendReply(connection, TReply::ListEntryOfSecret,
                      {name, std::to_string(channel->MemberCount()), channel->Topic});
        return;
    }
    const std::string& shownName = channel->Private ? kHiddenName : name;
    SendReply(connection, TReply::ListEntry,
              {shownName, std::to_string(channel->MemberCount()), channel->Topic});
}

// The 322 lines of the channels named, or of every channel when none is named, then
// 323. With no channel at all nothing is listed, not even a 403 for a name asked for.
void AnswerList(TConnection& connection, const std::vector<std::string>& names) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    const TUserData* asker = OwnRecord(connection);
    if (asker == nullptr)
        return;
    const TClientData& registry = connection.Core.Registry;
    if (names.empty()) {
        for (int i = 0; i < registry.Channels.Count() && connection.HasRoomForListing(); ++i)
            SendListEntry(connection, *asker, registry.Channels.At(i)->KeyWord());
    } else if (registry.Channels.Count() > 0) {
        for (const std::string& name : names)
            SendListEntry(connection, *asker, name);
    }
    SendReply(connection, TReply::ListEnd);
}

}  // namespace

void HandleJoin(TConnection& connection, const TParsedMessage& message) {
    const int channelCount = LeadingParamCount(message, IsChannelName);
    if (channelCount == 0) {
        SendReply(connection, TReply::NoSuchChannel, {message.Param(1)});
        return;
    }
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    for (int k = 1; k <= channelCount; ++k) {
        JoinOneChannel(connection, *user, message.Param(k),
                       KeyForChannel(message, channelCount, k));
    }
}

void HandlePart(TConnection& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    PartChannels(connection, *user, message);
}

void HandleTopic(TConnection& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    TChannelData* channel = connection.Core.Registry.Channels.Find(message.Param(1));
    if (channel == nullptr) {
        SendReply(connection, TReply::NoSuchChannel, {message.Param(1)});
    } else if (!message.Param(2).empty()) {
        SetTopic(connection, *user, *channel, message.Param(2));
    } else {
        ReportTopic(connection, *channel);
    }
}

namespace {

// INVITE and KICK name a channel and a user, both of which must exist: the requester's
// record, the channel and the target, or nothing after the 401 reply that ends the command.
// The caller holds the registry's Lock.
struct TChannelAndTarget {
    TUserData* User;
    TChannelData* Channel;
    TUserData* Target;
};

std::optional<TChannelAndTarget> FindChannelAndTarget(TConnection& connection,
                                                      const std::string& channelName,
                                                      const std::string& targetNick,
                                                      TReply noSuchChannel) {
    TClientData& registry = connection.Core.Registry;
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return std::nullopt;
    TChannelData* channel = registry.Channels.Find(channelName);
    if (channel == nullptr) {
        SendReply(connection, noSuchChannel, {channelName});
        return std::nullopt;
    }
    TUserData* target = registry.Users.Find(targetNick);
    if (target == nullptr) {
        SendReply(connection, TReply::NoSuchNick, {targetNick});
        return std::nullopt;
    }
    return TChannelAndTarget{user, channel, target};
}

}  // namespace

void HandleInvite(TConnection& connection, const TParsedMessage& message) {
    const std::string& targetNick = message.Param(1);
    const std::string& channelName = message.Param(2);
    std::lock_guard lock(connection.Core.Registry.Lock);
    const auto found =
        FindChannelAndTarget(connection, channelName, targetNick, TReply::NoSuchNick);
    if (!found)
        return;
    auto& [user, channel, target] = *found;
    if (IsMember(*channel, *target)) {
        SendReply(connection, TReply::UserOnChannel, {target->KeyWord(), channel->KeyWord()});
    } else if (!IsMember(*channel, *user)) {
        SendReply(connection, TReply::NotOnChannel, {user->KeyWord(), channel->KeyWord()});
    } else if (IsChanOp(*channel, *user) || !channel->InviteOnly) {
        Invite(connection, *user, *target, *channel);
    } else {
        SendReply(connection, TReply::ChanOpPrivilegesNeeded, {channel->KeyWord()});
    }
}

void HandleKick(TConnection& connection, const TParsedMessage& message) {
    const std::string& channelName = message.Param(1);
    const std::string& targetNick = message.Param(2);
    std::lock_guard lock(connection.Core.Registry.Lock);
    const auto found =
        FindChannelAndTarget(connection, channelName, targetNick, TReply::NoSuchChannelToKick);
    if (!found)
        return;
    auto& [user, channel, target] = *found;
    if (!IsMember(*channel, *target)) {
        SendReply(connection, TReply::UserNotInChannel, {target->KeyWord(), channel->KeyWord()});
    } else if (!IsMember(*channel, *user)) {
        SendReply(connection, TReply::NotOnChannel, {user->KeyWord(), channel->KeyWord()});
    } else if (!IsChanOp(*channel, *user)) {
        SendReply(connection, TReply::ChanOpPrivilegesNeeded, {channel->KeyWord()});
    } else {
        Kick(connection, *user, *target, *channel, message.Param(3));
    }
}

void HandleKickModern(TConnection& connection, const TParsedMessage& message) {
    TParsedMessage asked = message;
    if (WithoutLeadingColon(asked.Param(3)).empty())
        asked.Params[2] = connection.Nick;  // the comment that names who kicked
    HandleKick(connection, asked);
}

void HandleNames(TConnection& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    const int nameCount = LeadingParamCount(message, IsGiven);
    for (int k = 1; k <= nameCount; ++k)
        SendChannelNames(connection, *user, message.Param(k));
    if (nameCount == 0)
        SendAllNames(connection, *user);
    SendReply(connection, TReply::EndOfNames, {"*"});
}

void HandleJoinList(TConnection& connection, const TParsedMessage& message) {
    const std::vector<std::string> names = CommaListItems(message.Param(1));
    const std::vector<std::string> keys = CommaListItems(message.Param(2));
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (!IsChannelName(names[k])) {
            SendReply(connection, TReply::NoSuchChannel, {names[k]});
            continue;
        }
        JoinOneChannel(connection, *user, names[k], k < keys.size() ? keys[k] : "");
    }
}

void HandlePartList(TConnection& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    const std::string_view given = WithoutLeadingColon(message.Param(2));
    const std::string partMessage(given.empty() ? std::string_view(user->KeyWord()) : given);
    for (const std::string& name : CommaListItems(message.Param(1)))
        PartChannel(connection, *user, name, partMessage);
}

void HandleNamesList(TConnection& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    const std::vector<std::string> names = CommaListItems(message.Param(1));
    for (const std::string& name : names)
        SendChannelNames(connection, *user, name);
    if (names.empty()) {
        SendAllNames(connection, *user);
        SendReply(connection, TReply::EndOfNames, {"*"});
    }
}

void HandleListList(TConnection& connection, const TParsedMessage& message) {
    AnswerList(connection, CommaListItems(message.Param(1)));
}

void HandleList(TConnection& connection, const TParsedMessage& message) {
    const int nameCount = LeadingParamCount(message, IsGiven);
    std::vector<std::string> names;  // the leading parameters that are given
    for (int k = 1; k <= nameCount; ++k)
        names.push_back(message.Param(k));
    AnswerList(connection, names);
}
