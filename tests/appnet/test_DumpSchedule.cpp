#include "appnet/DumpSchedule.h"

#include <gtest/gtest.h>

#include <vector>

using namespace flowloom::appnet;
using namespace std::chrono_literals;

namespace {

using Clock = DumpSchedule::Clock;

TEST(DumpSchedule, AllowanceIsAnEighthOfTheExplainedBytesAnd4KiBPerTick)
{
    struct Case
    {
        std::uint64_t explained;
        int ticks;
        std::uint64_t allowance;
    };
    const std::vector<Case> cases = {
        {0, 1, 4096},
        {80'000, 1, 10'000 + 4096},
        {800, 3, 100 + 3 * 4096},
        {7, 1, 0 + 4096}, // an eighth rounds down
        {0, 0, 4096},     // a poll spans one tick at least
        {1'000'000'000, 30, 125'000'000 + 30 * 4096},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(unexplainedAllowance(c.explained, c.ticks), c.allowance)
            << c.explained << " bytes over " << c.ticks << " ticks";
        EXPECT_FALSE(beyondAllowance(c.explained + c.allowance, c.explained, c.ticks));
        EXPECT_TRUE(beyondAllowance(c.explained + c.allowance + 1, c.explained, c.ticks));
        EXPECT_FALSE(beyondAllowance(c.explained / 2, c.explained, c.ticks))
            << "more explained than counted is no evidence";
    }
}

// The spacing of 1, 2 and 4 s and its end on a quiet poll are shown through
// the collector (CollectorReads); here the bounds: the period, the spacing
// held at it, and a schedule forgotten.
TEST(DumpSchedule, SpacingIsHeldAtThePeriodAndTheDumpPeriodCountsOnlyDumps)
{
    DumpSchedule schedule;
    const Clock::time_point start{1000s};
    auto evidence = [&](int second) {
        return schedule.dueOnEvidence(start + std::chrono::seconds(second), 100'000, 0, 1);
    };
    EXPECT_TRUE(schedule.dueBeforeLookups(start)) << "the first look";
    schedule.dumped(start);
    EXPECT_FALSE(schedule.dueOnEvidence(start, 1'000'000 + 125'000 + 4096, 1'000'000, 1))
        << "headers within the allowance";
    // Looking further finds nothing at 0, 1, 3, 7, 15, 31 s: spacing 1 .. 32 s, held at 30.
    int second = 0;
    for (const int spacing : {1, 2, 4, 8, 16, 30, 30}) {
        ASSERT_TRUE(evidence(second)) << second;
        schedule.lookedFurther(start + std::chrono::seconds(second), false);
        EXPECT_FALSE(evidence(second + spacing - 1)) << second;
        second += spacing;
    }
    EXPECT_EQ(schedule.evidenceSpacing(), kFullDumpInterval);
    EXPECT_TRUE(schedule.dueBeforeLookups(start + 30s))
        << "looking further does not restart the dump period";
    schedule.lookedFurther(start + std::chrono::seconds(second), true);
    EXPECT_TRUE(evidence(second)) << "it found bytes: at once again";
    schedule.lookedFurther(start + std::chrono::seconds(second), false);
    EXPECT_FALSE(evidence(second));
    EXPECT_TRUE(evidence(second - 40)) << "a clock that went back counts as a spacing over";
    schedule.forget();
    EXPECT_TRUE(schedule.dueBeforeLookups(start + 31s)) << "forgotten: the next poll dumps";
}

} // namespace
