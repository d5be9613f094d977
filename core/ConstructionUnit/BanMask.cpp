// Ban masks: the mask a ban parameter of MODE stores, and the test of a user against
// a channel's masks.
#include "core/ConstructionUnit/BanMask.h"

#include <algorithm>

#include "core/TextUtil.h"

namespace {

// One part of a ban mask: "*" matches anything, any other text only itself, or with
// `eitherCase` itself in either case of its ASCII letters.
bool MaskPartMatches(std::string_view part, std::string_view value, bool eitherCase = false) {
    return part == "*" || part == value || (eitherCase && SameTextIgnoringCase(part, value));
}

// A mask "nick!user@host" against a user; the user part stands for "~" + user name. A
// part whose separator is missing is empty and matches nobody.
bool BanMaskMatches(std::string_view mask, const TUserData& user, bool eitherCase) {
    std::string_view nickPart;
    if (const auto bang = mask.find('!'); bang != std::string_view::npos) {
        nickPart = mask.substr(0, bang);
        mask.remove_prefix(bang + 1);
    }
    std::string_view userPart;
    if (const auto at = mask.find('@'); at != std::string_view::npos) {
        userPart = mask.substr(0, at);
        mask.remove_prefix(at + 1);
    }
    return MaskPartMatches(nickPart, user.KeyWord(), eitherCase) &&
           MaskPartMatches(userPart, "~" + user.UserName) &&
           MaskPartMatches(mask, user.Host, eitherCase);
}

}  // namespace

std::string NormaliseBanMask(std::string_view text) {
    if (text.empty())
        return {};
    if (text.find_first_of("!@") != std::string_view::npos)
        return std::string(text);
    return std::string(text) + "!*@*";
}

bool IsBanned(const TUserData& user, const TChannelData& channel, bool eitherCase) {
    return std::any_of(channel.Bans.begin(), channel.Bans.end(), [&](const std::string& mask) {
        return BanMaskMatches(mask, user, eitherCase);
    });
}
