// Membership: the operations the command handlers share to test and end a user's
// membership of a channel. All of them run with the registry's Lock held by the
// caller.
#pragma once

#include "core/HashTable.h"

// True when `user` (this very record) is among the channel's members.
bool IsMember(const TChannelData& channel, const TUserData& user);

// Takes the user out of the channel (and out of its invitation to it); a channel
// left without members is deleted from the registry.
void LeaveChannel(TClientData& registry, TUserData& user, TChannelData& channel);
