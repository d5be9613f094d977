// The channel commands: JOIN (with keys, bans, limits and invitations, and the names
// listing sent on joining), PART, TOPIC, INVITE, KICK, and the listings NAMES and LIST.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/ClientThread.h"
#include "core/ConstructionUnit/HandlerSupport.h"
#include "core/ConstructionUnit/Handlers.h"
#include "core/ConstructionUnit/Membership.h"
#include "core/TextUtil.h"
#include "platform/CodePage.h"

namespace {

// The names part of one 353 line on joining is cut before a nickname that would take it
// past this many bytes (the blank and the "@" before that nickname are not counted).
constexpr std::size_t JoinNamesLineBytes = 500;

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

bool IsChanOp(const TChannelData& channel, const TUserData& user) {
    const TMemberFlags* flags = channel.MemberFlags(user.KeyWord());
    return flags != nullptr && flags->ChanOp != 0;
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

// One part of a ban mask: "*" matches anything, any other text only itself.
bool MaskPartMatches(std::string_view part, std::string_view value) {
    return part == "*" || part == value;
}

// A mask "nick!user@host" against a user; the user part stands for "~" + user name. A
// part whose separator is missing is empty and matches nobody.
bool BanMaskMatches(std::string_view mask, const TUserData& user) {
    std::string_view nickPart;
    if (const auto bang = mask.find('!'); bang != std::string_view::npos) {
        nickPart = mask.substr(0, bang);
        mask.remove_prefix(bang + 1);
    }
    std::string_view userPart;
    if (const auto at = mask.find('@'); at != std::string_view::npos) {
        userPart = mask.substr(0, at);
        mask.remove_prefix(at + 1);
    }
    return MaskPartMatches(nickPart, user.KeyWord()) &&
           MaskPartMatches(userPart, "~" + user.UserName) && MaskPartMatches(mask, user.Host);
}

bool IsBanned(const TUserData& user, const TChannelData& channel) {
    return std::any_of(channel.Bans.begin(), channel.Bans.end(),
                       [&](const std::string& mask) { return BanMaskMatches(mask, user); });
}

// The members in joining order, channel operators marked with "@", cut into 353 lines
// whose names part ends before it would pass JoinNamesLineBytes; then the 366 line.
void SendNamesOnJoin(TClientThread& connection, const TChannelData& channel,
                     const TUserData& user) {
    const std::string header = "= " + channel.KeyWord() + " :";
    std::string names;
    for (int i = 0; i < channel.MemberCount(); ++i) {
        const std::string& nick = channel.MemberAt(i)->KeyWord();
        if (names.size() + nick.size() > JoinNamesLineBytes) {
            SendNumericReply(connection, "353", user, " " + header + names);
            names.clear();
        }
        if (!names.empty())
            names += ' ';
        names += ListedName(channel, i);
    }
    if (!names.empty())
        SendNumericReply(connection, "353", user, " " + header + names);
    SendNumericReply(connection, "366", user, " " + channel.KeyWord() + " :End of /NAMES list.");
}

// A user already on as many channels as a user may be gets 405 instead.
bool MayJoinAnother(TClientThread& connection, const TUserData& user, std::string_view name) {
    if (user.Channels.size() < TUserData::kMaxChannels)
        return true;
    connection.ErrTooManyChannels(name);
    return false;
}

void AddJoiner(TClientThread& connection, TUserData& user, TChannelData& channel,
               uint16_t memberFlags) {
    channel.AddMember(&user, memberFlags);
    user.AddChannel(&channel);
    SendToChannel(channel, user, "JOIN :" + channel.KeyWord(), false);
    SendNamesOnJoin(connection, channel, user);
}

// The checks for joining a channel that exists, in their order: key, ban, limit,
// invitation; a member already there is left alone.
void JoinExisting(TClientThread& connection, TUserData& user, TChannelData& channel,
                  std::string_view name, std::string_view key) {
    if (TrimControls(key) != TrimControls(channel.Key)) {
        connection.ErrBadChannelKey(name);
    } else if (IsBanned(user, channel)) {
        connection.ErrBannedFromChannel(channel.KeyWord());
    } else if (channel.Limit != 0 && channel.MemberCount() >= channel.Limit) {
        connection.ErrChannelIsFull(name);
    } else if (channel.InviteOnly && !HoldsInvitation(user, channel.KeyWord())) {
        connection.ErrInviteOnlyChannel(name);
    } else if (channel.FindMember(user.KeyWord()) == nullptr &&
               MayJoinAnother(connection, user, name)) {
        AddJoiner(connection, user, channel, JoinerFlags);
    }
}

void JoinOneChannel(TClientThread& connection, TUserData& user, const std::string& name,
                    std::string_view key) {
    TClientData& registry = connection.Core.Registry;
    if (name.size() > TChannelData::kMaxNameBytes) {
        connection.ErrNoSuchChannel(name);  // no channel has so long a name, nor may have
    } else if (TChannelData* channel = registry.Channels.Find(name)) {
        JoinExisting(connection, user, *channel, name, key);
    } else if (registry.Channels.Find(TrimControls(name)) != nullptr) {
        // The name differs from an existing channel's only by trailing control bytes,
        // which naming a channel trims: it can be neither found nor created.
        connection.ErrNoSuchChannel(name);
    } else if (MayJoinAnother(connection, user, name)) {
        TChannelData* created = registry.Channels.Add();
        created->SetKeyWord(name);
        AddJoiner(connection, user, *created, CreatorFlags);
    }
}

// ---- PART, TOPIC, INVITE, KICK helpers -----------------------------------------------

// Leaves each named channel in turn; stops at the first that does not exist or that the
// user is not on.
void PartChannels(TClientThread& connection, TUserData& user, const TParsedMessage& message) {
    TClientData& registry = connection.Core.Registry;
    const int channelCount = LeadingParamCount(message, IsGiven);
    for (int k = 1; k <= channelCount; ++k) {
        TChannelData* channel = registry.Channels.Find(message.Param(k));
        if (channel == nullptr) {
            connection.ErrNoSuchChannel(message.Param(k));
            return;
        }
        if (!IsMember(*channel, user)) {
            connection.ErrNotOnChannel(user.KeyWord(), channel->KeyWord());
            return;
        }
        SendToChannel(*channel, user, "PART " + channel->KeyWord() + " :" + user.KeyWord(), false);
        LeaveChannel(registry, user, *channel);
    }
}

void SetTopic(TClientThread& connection, TUserData& user, TChannelData& channel,
              std::string_view newTopic) {
    if (!IsMember(channel, user)) {
        connection.ErrNotOnChannel(user.KeyWord(), channel.KeyWord());
    } else if (!channel.TopicLocked || IsChanOp(channel, user)) {
        channel.Topic =
            platform::CutAtCharacter(WithoutLeadingColon(newTopic), TChannelData::kMaxTopicBytes);
        SendToChannel(channel, user, "TOPIC " + channel.KeyWord() + " :" + channel.Topic, false);
    } else {
        connection.ErrChanOpPrivilegesNeeded(channel.KeyWord());
    }
}

void ReportTopic(TClientThread& connection, const TUserData& user, const TChannelData& channel) {
    if (channel.Topic.empty()) {
        SendNumericReply(connection, "331", user, " " + channel.KeyWord() + " :No Topic is Set");
    } else {
        SendNumericReply(connection, "332", user, " " + channel.KeyWord() + " :" + channel.Topic);
    }
}

void Invite(TClientThread& connection, const TUserData& user, TUserData& target,
            const TChannelData& channel) {
    SendToUser(target, user, "INVITE " + target.KeyWord() + " " + channel.KeyWord());
    if (!HoldsInvitation(target, channel.KeyWord())) {
        // The oldest invitation makes room for a new one beyond the limit.
        if (target.Invitations.size() >= TUserData::kMaxInvitations)
            target.Invitations.erase(target.Invitations.begin());
        target.Invitations.push_back(channel.KeyWord());
    }
    SendNumericReply(connection, "341", user, " " + channel.KeyWord() + " " + target.KeyWord());
}

void Kick(TClientThread& connection, TUserData& user, TUserData& target, TChannelData& channel,
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
void SendNamesLine(TClientThread& connection, const TUserData& user, const TChannelData& channel) {
    const bool userIsMember = IsMember(channel, user);
    std::string names;
    for (int i = 0; i < channel.MemberCount(); ++i) {
        if (channel.MemberAt(i)->Invisible && !userIsMember)
            continue;
        if (!names.empty())
            names += ' ';
        names += ListedName(channel, i);
    }
    const std::string shownName = channel.Private ? "*" : channel.KeyWord();
    SendNumericReply(connection, "353", user, " = " + shownName + " :" + names);
}

void SendChannelNames(TClientThread& connection, const TUserData& user, const std::string& name) {
    if (const TChannelData* channel = connection.Core.Registry.Channels.Find(name)) {
        SendNamesLine(connection, user, *channel);
    } else {
        connection.ErrNoSuchChannel(name);
    }
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
void SendAllNames(TClientThread& connection, const TUserData& user) {
    const TClientData& registry = connection.Core.Registry;
    for (int i = 0; i < registry.Channels.Count() && connection.HasRoomForListing(); ++i) {
        const TChannelData& channel = *registry.Channels.At(i);
        if (!channel.Secret)
            SendNamesLine(connection, user, channel);
    }
    const std::string usersOnNoChannel = UsersOnNoChannel(registry, user);
    if (!usersOnNoChannel.empty())
        SendNumericReply(connection, "353", user, " * * :" + usersOnNoChannel);
}

// The 322 line of one channel, showing `name` as passed; a secret channel gives none.
void SendListEntry(TClientThread& connection, const TUserData& user, const std::string& name) {
    const TChannelData* channel = connection.Core.Registry.Channels.Find(name);
    if (channel == nullptr) {
        connection.ErrNoSuchChannel(name);
        return;
    }
    if (channel->Secret)
        return;
    const std::string shownName = channel->Private ? "*" : name;
    SendNumericReply(
        connection, "322", user,
        " " + shownName + " " + std::to_string(channel->MemberCount()) + " :" + channel->Topic);
}

void ListChannels(TClientThread& connection, const TUserData& user, const TParsedMessage& message) {
    const TClientData& registry = connection.Core.Registry;
    const int nameCount = LeadingParamCount(message, IsGiven);
    if (nameCount > 0) {
        for (int k = 1; k <= nameCount; ++k)
            SendListEntry(connection, user, message.Param(k));
    } else {
        for (int i = 0; i < registry.Channels.Count() && connection.HasRoomForListing(); ++i)
            SendListEntry(connection, user, registry.Channels.At(i)->KeyWord());
    }
}

}  // namespace

void HandleJoin(TClientThread& connection, const TParsedMessage& message) {
    if (message.Param(1).empty()) {
        connection.ErrNeedMoreParams("JOIN");
        return;
    }
    const int channelCount = LeadingParamCount(message, IsChannelName);
    if (channelCount == 0) {
        connection.ErrNoSuchChannel(message.Param(1));
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

void HandlePart(TClientThread& connection, const TParsedMessage& message) {
    if (message.Param(1).empty()) {
        connection.ErrNeedMoreParams("PART");
        return;
    }
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    PartChannels(connection, *user, message);
}

void HandleTopic(TClientThread& connection, const TParsedMessage& message) {
    if (message.Param(1).empty()) {
        connection.ErrNeedMoreParams("TOPIC");
        return;
    }
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    TChannelData* channel = connection.Core.Registry.Channels.Find(message.Param(1));
    if (channel == nullptr) {
        connection.ErrNoSuchChannel(message.Param(1));
    } else if (!message.Param(2).empty()) {
        SetTopic(connection, *user, *channel, message.Param(2));
    } else {
        ReportTopic(connection, *user, *channel);
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

std::optional<TChannelAndTarget> FindChannelAndTarget(TClientThread& connection,
                                                      const std::string& channelName,
                                                      const std::string& targetNick) {
    TClientData& registry = connection.Core.Registry;
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return std::nullopt;
    TChannelData* channel = registry.Channels.Find(channelName);
    if (channel == nullptr) {
        connection.ErrNoSuchNick(channelName);
        return std::nullopt;
    }
    TUserData* target = registry.Users.Find(targetNick);
    if (target == nullptr) {
        connection.ErrNoSuchNick(targetNick);
        return std::nullopt;
    }
    return TChannelAndTarget{user, channel, target};
}

}  // namespace

void HandleInvite(TClientThread& connection, const TParsedMessage& message) {
    const std::string& targetNick = message.Param(1);
    const std::string& channelName = message.Param(2);
    if (targetNick.empty() || channelName.empty()) {
        connection.ErrNeedMoreParams("INVITE");
        return;
    }
    std::lock_guard lock(connection.Core.Registry.Lock);
    const auto found = FindChannelAndTarget(connection, channelName, targetNick);
    if (!found)
        return;
    auto& [user, channel, target] = *found;
    if (IsMember(*channel, *target)) {
        connection.ErrUserOnChannel(target->KeyWord(), channel->KeyWord());
    } else if (!IsMember(*channel, *user)) {
        connection.ErrNotOnChannel(user->KeyWord(), channel->KeyWord());
    } else if (IsChanOp(*channel, *user) || !channel->InviteOnly) {
        Invite(connection, *user, *target, *channel);
    } else {
        connection.ErrChanOpPrivilegesNeeded(channel->KeyWord());
    }
}

void HandleKick(TClientThread& connection, const TParsedMessage& message) {
    const std::string& channelName = message.Param(1);
    const std::string& targetNick = message.Param(2);
    if (channelName.empty() || targetNick.empty()) {
        connection.ErrNeedMoreParams("KICK");
        return;
    }
    std::lock_guard lock(connection.Core.Registry.Lock);
    const auto found = FindChannelAndTarget(connection, channelName, targetNick);
    if (!found)
        return;
    auto& [user, channel, target] = *found;
    if (!IsMember(*channel, *target)) {
        connection.ErrUserNotInChannel(target->KeyWord(), channel->KeyWord());
    } else if (!IsMember(*channel, *user)) {
        connection.ErrNotOnChannel(user->KeyWord(), channel->KeyWord());
    } else if (!IsChanOp(*channel, *user)) {
        connection.ErrChanOpPrivilegesNeeded(channel->KeyWord());
    } else {
        Kick(connection, *user, *target, *channel, message.Param(3));
    }
}

void HandleNames(TClientThread& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    const int nameCount = LeadingParamCount(message, IsGiven);
    for (int k = 1; k <= nameCount; ++k)
        SendChannelNames(connection, *user, message.Param(k));
    if (nameCount == 0)
        SendAllNames(connection, *user);
    SendNumericReply(connection, "366", *user, " * :End of /Names list");
}

void HandleList(TClientThread& connection, const TParsedMessage& message) {
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;
    // With no channel at all nothing is listed, not even a 403 for a name asked for.
    if (connection.Core.Registry.Channels.Count() > 0)
        ListChannels(connection, *user, message);
    SendNumericReply(connection, "323", *user, " :End of /List");
}
