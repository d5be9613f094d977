// Turns a ban parameter of MODE into the mask stored in a channel's ban list.
#include "core/ConstructionUnit/BanMask.h"

std::string NormaliseBanMask(std::string_view text) {
    if (text.empty())
        return {};
    if (text.find_first_of("!@") != std::string_view::npos)
        return std::string(text);
    return std::string(text) + "!*@*";
}
