// The stored form of a ban parameter: what "+b" adds to a channel's ban list and
// what "-b" looks for there.
#pragma once

#include <string>
#include <string_view>

// A text with "!" or "@" anywhere is a mask already and is kept as it is; any other
// text is a nickname and becomes nickname + "!*@*". An empty text gives the empty
// string, which is no mask.
std::string NormaliseBanMask(std::string_view text);
