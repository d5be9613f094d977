// The rules for names given at registration.
#pragma once

#include <string_view>

// True when every byte lies from "0" to "~" and none is "@".
bool IsValidNick(std::string_view text);
// True when every byte lies from "!" to "~".
bool IsValidUserName(std::string_view text);
