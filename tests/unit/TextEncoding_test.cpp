// The conversion between protocol text (code page 932) and text for a person (UTF-8).
#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

namespace {

using platform::Cp932ToUtf8;
using platform::Utf8ToCp932;

// "日本語" in code page 932 and in UTF-8.
const std::string kNihongoCp932 = "\x93\xfa\x96\x7b\x8c\xea";
const std::string kNihongoUtf8 = "日本語";

TEST(TextEncoding, JapaneseAndAsciiConvertBothWays) {
    EXPECT_EQ(Cp932ToUtf8(kNihongoCp932), kNihongoUtf8);
    EXPECT_EQ(Utf8ToCp932(kNihongoUtf8), kNihongoCp932);
    // Half-width katakana, and the bytes that Shift_JIS variants disagree on: in code
    // page 932 0x5C is the backslash and 0x7E the tilde.
    EXPECT_EQ(Cp932ToUtf8("\xb1\\~ ok"), "ｱ\\~ ok");
    EXPECT_EQ(Utf8ToCp932("ｱ\\~ ok"), "\xb1\\~ ok");
    // NEC and IBM extensions that code page 932 adds to Shift_JIS: "①" and "髙".
    EXPECT_EQ(Cp932ToUtf8("\x87\x40\xfb\xfc"), "①髙");
    EXPECT_EQ(Utf8ToCp932("①髙"), "\x87\x40\xfb\xfc");
    EXPECT_EQ(Cp932ToUtf8(""), "");
}

TEST(TextEncoding, BytesThatAreNotCodePage932ShowAsEscapes) {
    // 0x80 and 0xA0 begin no character; a lead byte at the very end has no trail byte;
    // 0x81 0x20 is a lead byte followed by a byte that cannot trail it.
    EXPECT_EQ(Cp932ToUtf8("a\x80"
                          "b"),
              "a\\x80b");
    EXPECT_EQ(Cp932ToUtf8("\xa0" + kNihongoCp932), "\\xA0" + kNihongoUtf8);
    EXPECT_EQ(Cp932ToUtf8(kNihongoCp932 + "\x93"), kNihongoUtf8 + "\\x93");
    EXPECT_EQ(Cp932ToUtf8("\x81 x"), "\\x81 x");
    // A long text with a bad byte past the converter's buffer keeps every character.
    const std::string longText(1000, 'x');
    EXPECT_EQ(Cp932ToUtf8(longText + "\xfd" + longText), longText + "\\xFD" + longText);
}

TEST(TextEncoding, TextThatCodePage932CannotHoldIsRefused) {
    EXPECT_EQ(Utf8ToCp932("emoji 😀"), std::nullopt);
    EXPECT_EQ(Utf8ToCp932("Ωmega é"), std::nullopt) << "é is not in code page 932";
    EXPECT_EQ(Utf8ToCp932("broken \xe6\x97"), std::nullopt) << "cut UTF-8 sequence";
    EXPECT_EQ(Utf8ToCp932(std::string(2000, 'y')), std::string(2000, 'y'));
}

}  // namespace
