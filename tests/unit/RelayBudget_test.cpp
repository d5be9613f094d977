// The relay budget: an allowance spent at once, refilled at its rate, never beyond it,
// on the wrapping millisecond counter.
#include "core/RelayBudget.h"

#include <gtest/gtest.h>

namespace {

TEST(RelayBudget, OverspendingWaitsAsLongAsTheRateNeedsToMakeItGood) {
    TRelayBudget budget(1000, 4000);     // 1000 bytes a second, 4000 at once
    const uint32_t start = 0xFFFFF000u;  // the counter wraps while the budget refills
    budget.Reset(start);
    budget.Spend(4000);
    EXPECT_EQ(budget.MsUntilAvailable(start), 0u) << "spent, not overspent";
    budget.Spend(500);
    EXPECT_EQ(budget.MsUntilAvailable(start), 500u);
    EXPECT_EQ(budget.MsUntilAvailable(start + 200), 300u);
    EXPECT_EQ(budget.MsUntilAvailable(start + 500), 0u);
    // A long quiet time refills only up to the allowance.
    budget.Spend(1);
    EXPECT_EQ(budget.MsUntilAvailable(start + 100000), 0u);
    budget.Spend(4000);
    EXPECT_EQ(budget.MsUntilAvailable(start + 100000), 0u);
    budget.Spend(1000);
    EXPECT_EQ(budget.MsUntilAvailable(start + 100000), 1000u);
}

TEST(RelayBudget, ARateOfZeroMeansNoLimit) {
    TRelayBudget budget(0, 0);
    budget.Reset(0);
    budget.Spend(1 << 30);
    EXPECT_EQ(budget.MsUntilAvailable(0), 0u);
}

}  // namespace
