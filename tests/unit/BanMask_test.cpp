// Tests of NormaliseBanMask: which ban parameters are masks already and which are
// nicknames that need the "!*@*" tail.
#include "core/ConstructionUnit/BanMask.h"

#include <gtest/gtest.h>

TEST(NormaliseBanMask, EmptyTextGivesNoMask) {
    EXPECT_EQ(NormaliseBanMask(""), "");
}

TEST(NormaliseBanMask, NicknameGetsAnyUserAndHost) {
    EXPECT_EQ(NormaliseBanMask("bob"), "bob!*@*");
    EXPECT_EQ(NormaliseBanMask("*"), "*!*@*");
    EXPECT_EQ(NormaliseBanMask("\x83\x65\x83\x58\x83\x67"), "\x83\x65\x83\x58\x83\x67!*@*");
}

TEST(NormaliseBanMask, TextWithSeparatorIsKeptAsGiven) {
    EXPECT_EQ(NormaliseBanMask("*!~guest@*"), "*!~guest@*");
    EXPECT_EQ(NormaliseBanMask("Bob!x"), "Bob!x");
    EXPECT_EQ(NormaliseBanMask("@host"), "@host");
    EXPECT_EQ(NormaliseBanMask("bob!"), "bob!");
}
