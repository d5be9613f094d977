// How the server speaks to its clients, as two settings choose it: the client profile
// (Exact: every reply as this server has always made it; Modern: the shapes of RFC 2812
// and of today's servers, which today's clients expect) and the encoding of the texts
// the server writes itself (what users send is relayed as bytes in either).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "JapaneseTexts.h"
#include "core/MyCollection.h"

enum class TClientProfile { Exact, Modern };
enum class TTextEncoding { ShiftJis, Utf8 };

struct TDialect {
    TClientProfile Profile = TClientProfile::Exact;
    TTextEncoding Encoding = TTextEncoding::ShiftJis;

    // The server's own texts in its encoding.
    const TJapaneseTexts& Texts() const {
        return Encoding == TTextEncoding::Utf8 ? JapaneseTexts::Utf8 : JapaneseTexts::Cp932;
    }
    // How nicknames and channel names compare: code page 932's rules do not apply to
    // UTF-8 text.
    TKeyRule KeyRule() const {
        return Encoding == TTextEncoding::Utf8 ? TKeyRule::Ascii : TKeyRule::CodePage932;
    }
    // The longest nickname NICK accepts.
    std::size_t NickLength() const { return Profile == TClientProfile::Modern ? 30 : 9; }
    // Whether a ban mask's nick and host match in either case of their letters, as
    // nicknames and host names are the same whatever their case.
    bool BansIgnoreCase() const { return Profile == TClientProfile::Modern; }
};

// The dialect the values of the settings ClientProfile and TextEncoding name (letter
// case aside), or why they name none: UTF-8 text for the operator that names the key and
// the values it takes.
std::variant<TDialect, std::string> DialectOf(std::string_view clientProfile,
                                              std::string_view textEncoding);
