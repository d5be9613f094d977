// The parts of the load generator whose faults would make its figures wrong: the
// percentiles, the bookkeeping of lost, duplicated and reordered deliveries, the message
// stamps, line cutting, the client addresses and the limits of the options.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "bench/BenchConnection.h"
#include "bench/BenchText.h"
#include "bench/DeliveryLedger.h"
#include "bench/GeneratorOptions.h"
#include "bench/LatencyHistogram.h"

namespace {

TEST(LatencyHistogram, PercentilesStayWithinOnePercent) {
    TLatencyHistogram histogram;
    EXPECT_EQ(histogram.Percentile(0.99), 0);
    for (int64_t value = 100000; value >= 1; --value)
        histogram.Add(value * 1000);  // 1 us to 100 ms, in reverse
    EXPECT_EQ(histogram.Count(), 100000u);
    EXPECT_EQ(histogram.Max(), 100000000);
    EXPECT_NEAR(histogram.Percentile(0.5), 50000000, 500000);
    EXPECT_NEAR(histogram.Percentile(0.99), 99000000, 990000);
    EXPECT_GE(histogram.Percentile(0.99), 99000000);  // never reported below the true value
    EXPECT_EQ(histogram.Percentile(1.0), 100000000);
}

TEST(LatencyHistogram, SmallValuesAreExactAndOutliersShowInTheTail) {
    TLatencyHistogram histogram;
    for (int i = 0; i < 99; ++i)
        histogram.Add(42);
    histogram.Add(-5);  // counted as 0
    EXPECT_EQ(histogram.Percentile(0.5), 42);
    EXPECT_EQ(histogram.Percentile(0.01), 0);
    histogram.Add(int64_t{1} << 40);
    EXPECT_EQ(histogram.Percentile(0.99), 42);
    EXPECT_EQ(histogram.Percentile(1.0), int64_t{1} << 40);
}

TEST(DeliveryLedger, MessageIsInFlightUntilEveryReceiverHasIt) {
    TDeliveryLedger ledger(4, 1, 3);
    EXPECT_EQ(ledger.NoteSent(0), 0u);
    EXPECT_EQ(ledger.NoteSent(0), 1u);
    EXPECT_EQ(ledger.InFlight(0), 2u);
    using EReceipt = TDeliveryLedger::EReceipt;
    EXPECT_EQ(ledger.NoteReceived(1, 0, 0), EReceipt::Counted);
    EXPECT_EQ(ledger.NoteReceived(2, 0, 0), EReceipt::Counted);
    EXPECT_EQ(ledger.NoteReceived(3, 0, 0), EReceipt::Landed);
    EXPECT_EQ(ledger.InFlight(0), 1u);
    EXPECT_EQ(ledger.NoteReceived(1, 0, 1), EReceipt::Counted);
    EXPECT_EQ(ledger.Lost(), 2u);  // message 1 is still due at two receivers
    EXPECT_EQ(ledger.UnfinishedTotal(), 1u);
    EXPECT_EQ(ledger.Duplicated() + ledger.Reordered(), 0u);
    EXPECT_EQ(ledger.Receipts(), 4u);
}

TEST(DeliveryLedger, UntilFirstReceiptAMessageLandsWithItsFirstReceiver) {
    using EReceipt = TDeliveryLedger::EReceipt;
    TDeliveryLedger ledger(4, 1, 3, TDeliveryLedger::EInFlightUntil::FirstReceipt);
    ledger.NoteSent(0);
    ledger.NoteSent(0);
    EXPECT_EQ(ledger.NoteReceived(2, 0, 0), EReceipt::Landed);
    EXPECT_EQ(ledger.InFlight(0), 1u);
    EXPECT_EQ(ledger.NoteReceived(1, 0, 0), EReceipt::Counted);
    EXPECT_EQ(ledger.NoteReceived(1, 0, 1), EReceipt::Landed);
    EXPECT_EQ(ledger.InFlight(0), 0u);
    // Nothing is in flight, but the drain still waits for the receipts due.
    EXPECT_EQ(ledger.UnfinishedTotal(), 2u);
    EXPECT_EQ(ledger.Lost(), 3u);
    EXPECT_EQ(ledger.NoteReceived(3, 0, 0), EReceipt::Counted);
    EXPECT_EQ(ledger.UnfinishedTotal(), 1u);
}

TEST(DeliveryLedger, DuplicatesReorderingAndUnknownMessagesAreCounted) {
    using EReceipt = TDeliveryLedger::EReceipt;
    TDeliveryLedger ledger(3, 2, 2);
    for (int i = 0; i < 3; ++i) {
        ledger.NoteSent(0);
        ledger.NoteSent(1);
    }
    // Receiver 2 sees sender 0's message 1 before message 0: one reordered receipt.
    ledger.NoteReceived(2, 0, 1);
    ledger.NoteReceived(2, 0, 0);
    EXPECT_EQ(ledger.Reordered(), 1u);
    // Sender 1's messages at receiver 0 in order: no reordering across senders.
    ledger.NoteReceived(0, 1, 0);
    ledger.NoteReceived(0, 1, 1);
    EXPECT_EQ(ledger.Reordered(), 1u);
    // A third receipt of a message due at two receivers, and a message never sent.
    ledger.NoteReceived(1, 1, 0);
    EXPECT_EQ(ledger.NoteReceived(2, 1, 0), EReceipt::Unexpected);
    EXPECT_EQ(ledger.NoteReceived(1, 0, 7), EReceipt::Unexpected);
    EXPECT_EQ(ledger.Duplicated(), 2u);
    // The same receiver twice makes a message look complete; the order check shows it.
    TDeliveryLedger twice(3, 1, 2);
    twice.NoteSent(0);
    twice.NoteReceived(1, 0, 0);
    EXPECT_EQ(twice.NoteReceived(1, 0, 0), EReceipt::Landed);
    EXPECT_EQ(twice.Reordered(), 1u);
}

TEST(BenchText, MessageStampSurvivesTheTripAndHasTheAskedSize) {
    const TMessageStamp stamp{4, 4000000000u, 9123456789012345678};
    const std::string text = EncodeMessageText(stamp, kMinMessageText);
    EXPECT_EQ(text.size(), kMinMessageText);
    EXPECT_EQ(EncodeMessageText(stamp, 400).size(), 400u);
    const auto decoded = DecodeMessageText(EncodeMessageText(stamp, 100));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Sender, 4);
    EXPECT_EQ(decoded->Sequence, 4000000000u);
    EXPECT_EQ(decoded->SentNs, 9123456789012345678);
    for (const char* bad :
         {"", "hello", "s1 q2 t", "s1 q2 t3", "s1 t2 q3 ", "s-1 q2 t3 ", "sx q2 t3 "})
        EXPECT_FALSE(DecodeMessageText(bad)) << bad;
}

TEST(BenchText, ReceivedLinesSplitIntoCommandAndText) {
    auto parts = SplitReceivedLine(":bn3!~u3@127.0.0.5 PRIVMSG #bench :s1 q2 t3 x :y");
    EXPECT_EQ(parts.Command, "PRIVMSG");
    EXPECT_EQ(parts.Params, "#bench :s1 q2 t3 x :y");
    EXPECT_EQ(parts.Trailing, "s1 q2 t3 x :y");
    parts = SplitReceivedLine("PING :irc.example");
    EXPECT_EQ(parts.Command, "PING");
    EXPECT_EQ(parts.Params, ":irc.example");
    EXPECT_EQ(parts.Trailing, "irc.example");
    parts = SplitReceivedLine(":server 366 bn1 #bench :End of /NAMES list.");
    EXPECT_EQ(parts.Command, "366");
    parts = SplitReceivedLine(":server");
    EXPECT_EQ(parts.Command, "");
    EXPECT_EQ(parts.Trailing, "");
}

TEST(BenchText, EveryClientHasItsOwnLoopbackAddress) {
    EXPECT_EQ(ClientAddress(0), 0x7F000002u);    // 127.0.0.2
    EXPECT_EQ(ClientAddress(252), 0x7F0000FEu);  // 127.0.0.254
    EXPECT_EQ(ClientAddress(253), 0x7F000102u);  // 127.0.1.2
    std::set<uint32_t> seen;
    for (int index = 0; index < 2000; ++index) {
        const uint32_t address = ClientAddress(index);
        EXPECT_EQ(address >> 24, 127u);
        const uint32_t last = address & 0xFF;
        EXPECT_TRUE(last >= 2 && last <= 254) << index;
        seen.insert(address);
    }
    EXPECT_EQ(seen.size(), 2000u);
}

TEST(BenchConnection, LinesAreCutAcrossReadsWithoutTheirLineEnds) {
    TBenchConnection connection;
    std::vector<std::string> lines;
    const auto collect = [&](std::string_view line) { lines.emplace_back(line); };
    const auto feed = [&](std::string_view bytes) {
        connection.CutLines(std::span<const char>(bytes.data(), bytes.size()), collect);
    };
    feed("PING :a\r\n:s 001 x :hi\r");
    feed("\nPART");
    EXPECT_EQ(lines, (std::vector<std::string>{"PING :a", ":s 001 x :hi"}));
    feed("IAL\nlast\r\n\r\n");
    EXPECT_EQ(lines, (std::vector<std::string>{"PING :a", ":s 001 x :hi", "PARTIAL", "last", ""}));
}

std::optional<TGeneratorOptions> Parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "LoadGenerator");
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    return ParseGeneratorOptions(static_cast<int>(argv.size()), argv.data());
}

TEST(GeneratorOptions, WhatASenderHasInFlightStaysBelowTheBurstLimit) {
    const auto options = Parse({"--port", "6667", "--clients", "200", "--senders", "5"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->Point(), "200/5/w4");
    EXPECT_EQ(options->BurstSafeWindow(), 6);  // 6 * 118 = 708 < 768 <= 7 * 118
    EXPECT_TRUE(Parse({"--port", "1", "--window", "6"}));
    EXPECT_FALSE(Parse({"--port", "1", "--window", "7"}));
    EXPECT_FALSE(Parse({"--port", "1", "--size", "300", "--window", "3"}));  // 954 bytes
    const auto first = Parse({"--port", "1", "--senders", "5", "--until-first-receipt"});
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Point(), "10/5/f4");
    EXPECT_FALSE(Parse({"--port", "1", "--rate", "100", "--until-first-receipt"}));
    const auto paced =
        Parse({"--port", "1", "--clients", "50", "--senders", "5", "--rate", "1000", "--to-nick"});
    ASSERT_TRUE(paced);
    EXPECT_EQ(paced->Point(), "50/5/r1000/nick");
    // A run with no send phase is the registration point, named as bench/run names it.
    const auto setup = Parse({"--port", "1", "--clients", "200", "--duration", "0"});
    ASSERT_TRUE(setup);
    EXPECT_EQ(setup->Point(), "200/reg");
}

TEST(GeneratorOptions, FaultyCommandLinesAreRefused) {
    EXPECT_FALSE(Parse({}));  // no port
    EXPECT_FALSE(Parse({"--port", "70000"}));
    EXPECT_FALSE(Parse({"--port", "1", "--clients", "ten"}));
    EXPECT_FALSE(Parse({"--port", "1", "--clients", "2.5"}));
    EXPECT_FALSE(Parse({"--port", "1", "--clients"}));                    // value missing
    EXPECT_FALSE(Parse({"--port", "1", "--senders", "11"}));              // more than clients
    EXPECT_FALSE(Parse({"--port", "1", "--senders", "6", "--to-nick"}));  // 10 < 2 * 6
    EXPECT_FALSE(Parse({"--port", "1", "--size", "20"}));                 // no room for the stamp
    EXPECT_FALSE(Parse({"--port", "1", "--colour", "red"}));
}

}  // namespace
