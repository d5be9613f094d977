// Ban masks: the stored form of a ban parameter (what "+b" adds to a channel's ban
// list and what "-b" looks for there), and whether a channel's masks ban a user.
#pragma once

#include <string>
#include <string_view>

#include "core/HashTable.h"

// A text with "!" or "@" anywhere is a mask already and is kept as it is; any other
// text is a nickname and becomes nickname + "!*@*". An empty text gives the empty
// string, which is no mask.
std::string NormaliseBanMask(std::string_view text);

// True when one of the channel's masks matches the user: each of the mask's parts
// "nick!user@host" is "*" or equal to the user's (the user part to "~" + user name;
// with `eitherCase`, the nick and host parts in either case of their ASCII letters).
bool IsBanned(const TUserData& user, const TChannelData& channel, bool eitherCase);
