// Membership and fan-out: the operations the command handlers share to test and
// end a user's membership of a channel and to relay a user's action to others.
// All of them run with the registry's Lock held by the caller.
#pragma once

#include <string>
#include <string_view>

#include "core/HashTable.h"

// ":" + nickname + "!~" + user name + "@" + host: how the server names a user at
// the head of every relayed line.
std::string UserPrefix(const TUserData& user);

// True when `user` (this very record) is among the channel's members.
bool IsMember(const TChannelData& channel, const TUserData& user);

// Takes the user out of the channel (and out of its invitation to it); a channel
// left without members is deleted from the registry.
void LeaveChannel(TClientData& registry, TUserData& user, TChannelData& channel);

// The fan-outs relay a user's action under its prefix. Each relayed line is charged
// once to the relay budget of the user's connection (see TRelayBudget), however
// many receive it.

// Sends the sender's prefix + " " + text to one user.
void SendToUser(const TUserData& recipient, const TUserData& sender, std::string_view text);

// Sends the sender's prefix + " " + text to every member of the channel, passing
// over the sender's own connection when `skipSender`.
void SendToChannel(const TChannelData& channel, const TUserData& sender, std::string_view text,
                   bool skipSender);

// Sends the user's prefix + " " + text once to every user who shares a channel
// with it, the user itself included unless `skipUser`.
void SendToNeighbours(const TUserData& user, std::string_view text, bool skipUser);
