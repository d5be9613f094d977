// Consistency checks of the registry: what the command handlers and the ends of
// connections must keep true whatever clients send. Tests and the dispatcher's fuzz
// target run them after traffic; the server itself never does.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/HashTable.h"

// Every broken invariant of the registry, one text each (names shown as UTF-8);
// empty when the registry is consistent:
// - both collections hold their keys as KeyOrderFaults requires, and every named
//   record is found by its own key;
// - every channel has a name and at least one member; every member of a channel is a
//   named user record of the registry, stands in the member list once, is found
//   there by its nickname, and lists the channel once among its own;
// - every channel a user lists exists and has the user among its members once;
// - no channel holds more ban masks or a longer topic, and no user is in more
//   channels or keeps more invitations, than their bounds in TChannelData and
//   TUserData allow;
// - every user record refers to a connection of `liveConnections` (the connections
//   that have not ended), and no two records refer to the same one.
// Takes the registry's lock itself; the lock is re-entrant, so a caller that already
// holds it may call this as well.
std::vector<std::string> RegistryFaults(TClientData& registry,
                                        const std::set<const TConnection*>& liveConnections);

// What is wrong with `keys`, the keys of a keyed collection in the order it holds its
// items (an empty key for an item without one), one text each; `what` names an item
// in the texts ("user", "channel"). The named keys must stand first, in ascending key
// order by the collection's own rules, with no key twice (the same key ignoring case
// and blanks); keyless items follow them, where no search looks.
std::vector<std::string> KeyOrderFaults(const std::vector<std::string>& keys,
                                        std::string_view what);
