// Small pieces that many command handlers use.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/Connection.h"
#include "core/ConstructionUnit/NumericReplies.h"
#include "core/HashTable.h"
#include "core/ServerCore.h"

// Sends the reply `reply` of the reply table to the connection, addressed to the
// connection's nickname, in the server's dialect; nothing when the dialect does not
// make that reply.
inline void SendReply(TConnection& connection, TReply reply,
                      std::initializer_list<std::string_view> args = {}) {
    const std::string line = BuildReplyLine(connection.Core.Settings.ServerName, connection.Nick,
                                            reply, args, connection.Core.Dialect);
    if (!line.empty())
        connection.SendLine(line);
}

// The connection's own user record (found under its nickname), or null.
inline TUserData* OwnRecord(TConnection& connection) {
    return connection.Core.Registry.Users.Find(connection.Nick);
}

// True when the user's connection has been welcomed (a record may exist from NICK or USER
// before that).
inline bool IsWelcomed(const TUserData& user) {
    return user.Connection != nullptr && user.Connection->Registered();
}

// True when the user is a member and an operator of the channel.
inline bool IsChanOp(const TChannelData& channel, const TUserData& user) {
    const TMemberFlags* flags = channel.MemberFlags(user.KeyWord());
    return flags != nullptr && flags->ChanOp != 0;
}

// A name that begins with "#" or "&" names a channel.
inline bool BeginsLikeChannel(std::string_view name) {
    return !name.empty() && (name.front() == '#' || name.front() == '&');
}

// The text of a trailing parameter: one leading ":" removed when there is one.
inline std::string_view WithoutLeadingColon(std::string_view text) {
    return !text.empty() && text.front() == ':' ? text.substr(1) : text;
}

// The time now in seconds since 1970, as replies tell when something happened.
inline int64_t SecondsSince1970() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The items of a comma list ("#a,#b"), empty items left out.
inline std::vector<std::string> CommaListItems(std::string_view list) {
    std::vector<std::string> items;
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        if (comma > 0)
            items.emplace_back(list.substr(0, comma));
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
    return items;
}
