// Cutting received bytes into lines, with the burst and line-buffer limits, for
// reads of any size.
#include "core/ReceiveFraming.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> TakeLines(TReceiveFraming& framing) {
    std::vector<std::string> lines;
    while (auto line = framing.NextLine())
        lines.emplace_back(*line);
    return lines;
}

TEST(ReceiveFraming, CutsLinesAtCrLfAcrossReadsAndBursts) {
    TReceiveFraming framing(1024);
    framing.StartBurst();
    ASSERT_TRUE(framing.TakeRead("NICK a\r\nUSER a b c :d\r"));
    EXPECT_EQ(TakeLines(framing), std::vector<std::string>{"NICK a\r\n"});
    ASSERT_TRUE(framing.KeepRemainder());
    framing.StartBurst();
    // A lone CR or LF ends no line; the CR LF split between reads does.
    ASSERT_TRUE(framing.TakeRead("\nPRIVMSG #a :x\ry\nz"));
    ASSERT_TRUE(framing.TakeRead("\r\n\r\n"));
    EXPECT_EQ(TakeLines(framing),
              (std::vector<std::string>{"USER a b c :d\r\n", "PRIVMSG #a :x\ry\nz\r\n", "\r\n"}));
    ASSERT_TRUE(framing.KeepRemainder());
    EXPECT_FALSE(framing.NextLine());
    framing.Reset();
    ASSERT_TRUE(framing.TakeRead("after reset\r\n"));
    EXPECT_EQ(TakeLines(framing), std::vector<std::string>{"after reset\r\n"});
}

TEST(ReceiveFraming, AZeroByteEndsTheTextOfItsStepOnly) {
    TReceiveFraming framing(4096);
    framing.StartBurst();
    // The first step of 127 bytes holds a zero byte: the rest of that step is lost,
    // the next step counts again, whatever the size of the read that brought them.
    std::string bytes = "AB";
    bytes += '\0';
    bytes += std::string(TReceiveFraming::kStepSize - 3, 'x');
    bytes += "CD\r\n";
    ASSERT_TRUE(framing.TakeRead(bytes));
    EXPECT_EQ(TakeLines(framing), std::vector<std::string>{"ABCD\r\n"});

    TReceiveFraming split(4096);
    split.StartBurst();
    ASSERT_TRUE(split.TakeRead(bytes.substr(0, 3)));  // a read of its own: its own step
    ASSERT_TRUE(split.TakeRead(bytes.substr(3)));
    EXPECT_EQ(TakeLines(split),
              std::vector<std::string>{"AB" + std::string(TReceiveFraming::kStepSize - 3, 'x') +
                                       "CD\r\n"});
}

TEST(ReceiveFraming, MoreThanTheBurstLimitInOneBurstIsRefusedWhateverTheReadSizes) {
    for (const std::size_t readSize :
         {std::size_t{1}, std::size_t{100}, std::size_t{127}, std::size_t{768}}) {
        TReceiveFraming framing(1 << 20);
        framing.StartBurst();
        std::size_t taken = 0;
        while (taken + readSize <= TReceiveFraming::kBurstLimit) {
            ASSERT_TRUE(framing.TakeRead(std::string(readSize, 'a'))) << readSize;
            taken += readSize;
        }
        EXPECT_FALSE(framing.TakeRead(std::string(TReceiveFraming::kBurstLimit - taken + 1, 'a')))
            << "read size " << readSize;
        framing.StartBurst();
        EXPECT_TRUE(framing.TakeRead("next burst\r\n"));
    }
    static_assert(TReceiveFraming::kReadSize > TReceiveFraming::kBurstLimit);
    static_assert(TReceiveFraming::kReadSize % TReceiveFraming::kStepSize == 0);
}

TEST(ReceiveFraming, TextWithoutLineEndBeyondTheLineBufferIsRefused) {
    TReceiveFraming framing(10);
    framing.StartBurst();
    ASSERT_TRUE(framing.TakeRead("0123456789"));
    EXPECT_TRUE(framing.KeepRemainder()) << "exactly the limit is kept";
    framing.StartBurst();
    ASSERT_TRUE(framing.TakeRead("\r\n0123456789"));
    EXPECT_EQ(TakeLines(framing), std::vector<std::string>{"0123456789\r\n"});
    EXPECT_TRUE(framing.KeepRemainder()) << "handed-out lines do not count";
    framing.StartBurst();
    ASSERT_TRUE(framing.TakeRead("A"));
    EXPECT_FALSE(framing.KeepRemainder());
}

}  // namespace
