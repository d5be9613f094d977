// Membership: the membership test and leaving a channel.
#include "core/ConstructionUnit/Membership.h"

#include <algorithm>

#include "core/TextUtil.h"

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
