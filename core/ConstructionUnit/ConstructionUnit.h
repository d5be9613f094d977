// The protocol side of a connection, as the connection thread sees it: every
// received line goes to DispatchLine, a connection the server ends announces its
// user's departure through QuitFromAll, and RemoveConnection runs once the
// connection is over.
#pragma once

#include <string_view>

class TClientData;
class TConnection;

// Parses one received line (with its CR LF) and runs its command. No lock is held.
void DispatchLine(TConnection& connection, std::string_view line);

// Tells the channel neighbours of `nick` that it quit with `reason` and takes the
// user out of all its channels; does nothing when no user has that nickname.
void QuitFromAll(TConnection& connection, std::string_view nick, std::string_view reason);

// The end of a connection: takes the connection's user out of every channel it is
// still in (telling the neighbours) and deletes the user's record.
void RemoveConnection(TConnection& connection);

// True when the connection's host (its host name or its address) already has a user
// of another connection: any record when `welcomedOnly` is false, else a user that
// has been welcomed. The caller holds the registry's Lock.
bool HostHasUser(const TClientData& registry, const TConnection& connection, bool welcomedOnly);
