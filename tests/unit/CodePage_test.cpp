// Code page 932 rules: upper-casing changes single-byte letters and never a
// double-byte character, and cutting a text never splits one.
#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

using platform::IsLeadByte;
using platform::UpperCase;

TEST(CodePageTest, LeadBytesAreExactlyTheTwoDoubleByteRanges) {
    for (int byte = 0; byte < 256; ++byte) {
        const bool expected = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        EXPECT_EQ(IsLeadByte(static_cast<unsigned char>(byte)), expected) << "byte " << byte;
    }
}

TEST(CodePageTest, UpperCasesOnlyAsciiLetters) {
    EXPECT_EQ(UpperCase("nick_[a]{z}|09`~"), "NICK_[A]{Z}|09`~");
    EXPECT_EQ(UpperCase(""), "");
}

TEST(CodePageTest, LeavesBothBytesOfDoubleByteCharactersAlone) {
    // 0x82 0x61 is a full-width letter whose trail byte is the byte of "a".
    EXPECT_EQ(UpperCase("\x82\x61"), "\x82\x61");
    EXPECT_EQ(UpperCase("x\x82\x61y"), "X\x82\x61Y");
    EXPECT_EQ(UpperCase("\x81z\x9Fz\xE0z\xFCz"), "\x81z\x9Fz\xE0z\xFCz");
    // Two double-byte characters in a row, the second with a letter as trail byte.
    EXPECT_EQ(UpperCase("\x83\x41\x83\x61q"), "\x83\x41\x83\x61Q");
}

TEST(CodePageTest, BytesOutsideTheLeadRangesStartNoDoubleByteCharacter) {
    // 0x80, 0xA0, half-width katakana 0xA1-0xDF and 0xFD-0xFF stand alone.
    EXPECT_EQ(UpperCase("\x80z\xA0z\xB1z\xDFz\xFDz\xFFz"), "\x80Z\xA0Z\xB1Z\xDFZ\xFDZ\xFFZ");
}

TEST(CodePageTest, LeadByteAtTheEndIsKept) {
    EXPECT_EQ(UpperCase("ab\x82"), "AB\x82");
}

TEST(CodePageTest, CutAtCharacterNeverSplitsADoubleByteCharacter) {
    // "日本" is two double-byte characters; "a" and "ｱ" (0xB1) are single bytes.
    const std::string text = "a\x93\xfa\x96\x7b\xb1";
    EXPECT_EQ(platform::CutAtCharacter(text, 0), "");
    EXPECT_EQ(platform::CutAtCharacter(text, 2), "a");
    EXPECT_EQ(platform::CutAtCharacter(text, 3), "a\x93\xfa");
    EXPECT_EQ(platform::CutAtCharacter(text, 4), "a\x93\xfa");
    EXPECT_EQ(platform::CutAtCharacter(text, 6), text);
    EXPECT_EQ(platform::CutAtCharacter(text, 100), text);
    // A lead byte at the very end has no trail byte and counts alone.
    EXPECT_EQ(platform::CutAtCharacter("ab\x93", 3), "ab\x93");
}

}  // namespace
