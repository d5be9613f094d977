// Small pieces that many command handlers use.
#pragma once

#include <string>
#include <string_view>

#include "core/ClientThread.h"
#include "core/HashTable.h"

// ":" + the server name: the head of every reply the server builds itself.
inline std::string ServerPrefix(const TClientThread& connection) {
    return ":" + connection.Core.Settings.ServerName;
}

// Sends the numeric reply ":" + server + " " + code + " " + nick + rest to the
// connection; `rest` begins with its own separator.
inline void SendNumericReply(TClientThread& connection, std::string_view code,
                             const TUserData& user, std::string_view rest) {
    connection.SendLine(ServerPrefix(connection) + " " + std::string(code) + " " + user.KeyWord() +
                        std::string(rest) + "\r\n");
}

// The connection's own user record (found under its nickname), or null.
inline TUserData* OwnRecord(TClientThread& connection) {
    return connection.Core.Registry.Users.Find(connection.Nick);
}

// A name that begins with "#" or "&" names a channel.
inline bool BeginsLikeChannel(std::string_view name) {
    return !name.empty() && (name.front() == '#' || name.front() == '&');
}

// The text of a trailing parameter: one leading ":" removed when there is one.
inline std::string_view WithoutLeadingColon(std::string_view text) {
    return !text.empty() && text.front() == ':' ? text.substr(1) : text;
}
