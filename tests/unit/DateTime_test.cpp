// The local date-time text and whole seconds between two moments.
#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

using namespace std::chrono;
using platform::FormatDayMonthYearTime;
using platform::WholeSecondsBetween;

// Runs the test in a fixed time zone and restores the previous one afterwards.
class DateTimeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) {
            savedZone_ = zone;
        }
    }
    void TearDown() override {
        if (savedZone_) {
            setenv("TZ", savedZone_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    static void UseZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

  private:
    std::optional<std::string> savedZone_;
};

TEST_F(DateTimeTest, FormatsWithoutLeadingZeros) {
    UseZone("UTC0");
    EXPECT_EQ(FormatDayMonthYearTime(sys_days{2026y / 12 / 6} + 9h + 5min), "6/12/2026 9:5");
    EXPECT_EQ(FormatDayMonthYearTime(sys_days{2000y / 1 / 1}), "1/1/2000 0:0");
    EXPECT_EQ(FormatDayMonthYearTime(sys_days{2031y / 10 / 31} + 23h + 59min + 59s),
              "31/10/2031 23:59");
}

TEST_F(DateTimeTest, FormatsTheLocalTime) {
    UseZone("JST-9");
    EXPECT_EQ(FormatDayMonthYearTime(sys_days{2026y / 12 / 5} + 15h + 5min), "6/12/2026 0:5");
}

TEST_F(DateTimeTest, WholeSecondsRoundDown) {
    const auto earlier = sys_days{2026y / 3 / 1} + 12h;
    EXPECT_EQ(WholeSecondsBetween(earlier, earlier + days{1} + 1s), 86401);
    EXPECT_EQ(WholeSecondsBetween(earlier, earlier + 1999ms), 1);
    EXPECT_EQ(WholeSecondsBetween(earlier, earlier + 999ms), 0);
    EXPECT_EQ(WholeSecondsBetween(earlier, earlier), 0);
}

}  // namespace
