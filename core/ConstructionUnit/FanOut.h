// Fan-out: relaying a user's action under its prefix to one user, to a channel or to
// everyone who shares a channel with the user, each relayed line charged once to the
// relay budget of the user's connection (see TRelayBudget), however many receive it.
// All of them run with the registry's Lock held by the caller.
#pragma once

#include <string>
#include <string_view>

#include "core/HashTable.h"

// ":" + nickname + "!~" + user name + "@" + host: how the server names a user at
// the head of every relayed line.
std::string UserPrefix(const TUserData& user);

// Sends the sender's prefix + " " + text to one user.
void SendToUser(const TUserData& recipient, const TUserData& sender, std::string_view text);

// Sends the sender's prefix + " " + text to every member of the channel, passing
// over the sender's own connection when `skipSender`.
void SendToChannel(const TChannelData& channel, const TUserData& sender, std::string_view text,
                   bool skipSender);

// Sends the user's prefix + " " + text once to every user who shares a channel
// with it, the user itself included unless `skipUser`.
void SendToNeighbours(const TUserData& user, std::string_view text, bool skipUser);
