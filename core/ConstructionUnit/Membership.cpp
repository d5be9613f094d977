// Membership and fan-out: the membership test, leaving a channel, and relaying a
// user's action to a channel or to everyone who shares a channel with the user.
#include "core/ConstructionUnit/Membership.h"

#include <algorithm>
#include <vector>

#include "core/ClientThread.h"
#include "core/TextUtil.h"

namespace {

// The line relayed for `user`, charged to the user's relay budget.
std::string RelayedLine(const TUserData& user, std::string_view text) {
    std::string line = UserPrefix(user) + " " + std::string(text) + "\r\n";
    if (user.Connection != nullptr)
        user.Connection->SpendRelayBudget(line.size());
    return line;
}

}  // namespace

std::string UserPrefix(const TUserData& user) {
    return ":" + user.KeyWord() + "!~" + user.UserName + "@" + user.Host;
}

bool IsMember(const TChannelData& channel, const TUserData& user) {
    for (int i = 0; i < channel.MemberCount(); ++i) {
        if (channel.MemberAt(i) == &user)
            return true;
    }
    return false;
}

void LeaveChannel(TClientData& registry, TUserData& user, TChannelData& channel) {
    const auto joined = std::find(user.Channels.begin(), user.Channels.end(), &channel);
    if (joined != user.Channels.end())
        user.Channels.erase(joined);
    channel.RemoveMember(user.KeyWord());
    const auto invitation = std::find_if(
        user.Invitations.begin(), user.Invitations.end(),
        [&](const auto& name) { return SameTextIgnoringCase(name, channel.KeyWord()); });
    if (invitation != user.Invitations.end())
        user.Invitations.erase(invitation);
    if (channel.MemberCount() == 0)
        registry.DeleteChannel(&channel);
}

void SendToUser(const TUserData& recipient, const TUserData& sender, std::string_view text) {
    const std::string line = RelayedLine(sender, text);
    if (recipient.Connection != nullptr)
        recipient.Connection->SendLine(line);
}

void SendToChannel(const TChannelData& channel, const TUserData& sender, std::string_view text,
                   bool skipSender) {
    const std::string line = RelayedLine(sender, text);
    for (int i = 0; i < channel.MemberCount(); ++i) {
        const TUserData* member = channel.MemberAt(i);
        if (member->Connection == nullptr)
            continue;
        if (skipSender && member->Connection == sender.Connection)
            continue;
        member->Connection->SendLine(line);
    }
}

void SendToNeighbours(const TUserData& user, std::string_view text, bool skipUser) {
    const std::string line = RelayedLine(user, text);
    std::vector<const TUserData*> visited;
    for (auto channel = user.Channels.rbegin(); channel != user.Channels.rend(); ++channel) {
        for (int i = 0; i < (*channel)->MemberCount(); ++i) {
            const TUserData* member = (*channel)->MemberAt(i);
            if (std::find(visited.begin(), visited.end(), member) != visited.end())
                continue;
            visited.push_back(member);
            if (skipUser && member == &user)
                continue;
            if (member->Connection != nullptr)
                member->Connection->SendLine(line);
        }
    }
}
