// Small byte-string helpers shared by the collections and the command handlers.
#include "core/TextUtil.h"

#include "platform/CodePage.h"

namespace {

bool IsControlOrBlank(char byte) {
    return static_cast<unsigned char>(byte) <= 0x20;
}

}  // namespace

std::string TrimControls(std::string_view text) {
    while (!text.empty() && IsControlOrBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsControlOrBlank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string FillPlaceholders(std::string_view text,
                             std::initializer_list<std::string_view> values) {
    std::string filled(text);
    std::size_t from = 0;
    for (const std::string_view value : values) {
        const std::size_t at = filled.find("%s", from);
        filled.replace(at, 2, value);
        from = at + value.size();  // a value that holds "%s" is no placeholder
    }
    return filled;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && platform::UpperCase(a) == platform::UpperCase(b);
}
