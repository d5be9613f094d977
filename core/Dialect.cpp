#include "core/Dialect.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "core/TextUtil.h"

namespace {

template <class TValue, std::size_t N>
std::optional<TValue> Lookup(const std::array<std::pair<std::string_view, TValue>, N>& names,
                             std::string_view text) {
    const auto named = std::ranges::find_if(
        names, [&](const auto& entry) { return SameTextIgnoringCase(entry.first, text); });
    return named == names.end() ? std::nullopt : std::optional<TValue>(named->second);
}

// "<key> = <value>" refused, naming the values the key takes.
std::string Refusal(std::string_view key, std::string_view value, std::string_view allowed) {
    return FillPlaceholders(JapaneseTexts::Utf8.BadSettingValue, {key, value, allowed});
}

constexpr std::array<std::pair<std::string_view, TClientProfile>, 2> kProfiles{{
    {"Exact", TClientProfile::Exact},
    {"Modern", TClientProfile::Modern},
}};
constexpr std::array<std::pair<std::string_view, TTextEncoding>, 2> kEncodings{{
    {"Shift_JIS", TTextEncoding::ShiftJis},
    {"UTF-8", TTextEncoding::Utf8},
}};

}  // namespace

std::variant<TDialect, std::string> DialectOf(std::string_view clientProfile,
                                              std::string_view textEncoding) {
    const auto profile = Lookup(kProfiles, clientProfile);
    if (!profile)
        return Refusal("ClientProfile", clientProfile, "Exact, Modern");
    const auto encoding = Lookup(kEncodings, textEncoding);
    if (!encoding)
        return Refusal("TextEncoding", textEncoding, "Shift_JIS, UTF-8");
    return TDialect{*profile, *encoding};
}
