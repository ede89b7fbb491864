#include "sampling/SleepDetector.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using flowloom::sampling::SleepClocks;
using flowloom::sampling::SleepDetector;

class ScriptedClocks final : public SleepClocks
{
public:
    std::int64_t bootMilliseconds() const override { return boot; }
    std::int64_t monotonicMilliseconds() const override { return monotonic; }
    // Awake time passes on both clocks, slept time on the boot clock only.
    void awake(std::int64_t ms)
    {
        boot += ms;
        monotonic += ms;
    }
    void asleep(std::int64_t ms) { boot += ms; }

    std::int64_t boot = 5'000'000;
    std::int64_t monotonic = 4'000'000; // the boot clock is ahead from earlier sleeps
};

struct Step
{
    std::int64_t awakeMs;
    std::int64_t asleepMs;
    bool expected;
    const char* what;
};

TEST(SleepDetector, TheBootClockRunningAheadBetweenTwoTicksIsASleep)
{
    const std::vector<Step> steps{
        {0, 0, false, "the first tick only sets the base"},
        {1000, 0, false, "a plain tick"},
        {30'000, 0, false, "a stopped process is no sleep: both clocks ran"},
        {1000, SleepDetector::kThresholdMs, false, "at the threshold: rounding"},
        {1000, SleepDetector::kThresholdMs + 1, true, "past the threshold"},
        {1000, 0, false, "the tick after a sleep is plain again"},
        {200, 3'600'000, true, "an hour asleep within a short tick"},
        {1000, 700, false, "small drifts do not add up over ticks"},
        {1000, 700, false, "small drifts do not add up over ticks"},
        {1000, 700, false, "small drifts do not add up over ticks"},
    };
    ScriptedClocks clocks;
    SleepDetector detector(clocks);
    for (const Step& step : steps) {
        clocks.awake(step.awakeMs);
        clocks.asleep(step.asleepMs);
        EXPECT_EQ(detector.tick(), step.expected) << step.what;
    }
}

TEST(SleepDetector, AnAnnouncedSleepMarksTheNextTickAlone)
{
    ScriptedClocks clocks;
    SleepDetector detector(clocks);
    EXPECT_FALSE(detector.tick());
    clocks.awake(1000);
    EXPECT_FALSE(detector.tick());

    // The desktop announces the sleep; the process is stopped rather than
    // the machine put to sleep, so only the announcement tells.
    detector.sleepAnnounced();
    EXPECT_TRUE(detector.asleep());
    clocks.awake(30'000);
    detector.resumed();
    EXPECT_FALSE(detector.asleep());
    EXPECT_TRUE(detector.tick()) << "the first tick after the wake-up";
    clocks.awake(1000);
    EXPECT_FALSE(detector.tick());

    // Ticks between the announcement and the wake-up span it; the one after
    // the wake-up only follows the last of them.
    detector.sleepAnnounced();
    clocks.awake(200);
    EXPECT_TRUE(detector.tick());
    clocks.awake(30'000);
    EXPECT_TRUE(detector.tick()) << "still asleep: the wake-up has not come";
    detector.resumed();
    clocks.awake(1000);
    EXPECT_FALSE(detector.tick());

    // Announced and seen on the clocks: still one sleep.
    detector.sleepAnnounced();
    clocks.asleep(60'000);
    detector.resumed();
    clocks.awake(300);
    EXPECT_TRUE(detector.tick());
    clocks.awake(1000);
    EXPECT_FALSE(detector.tick());

    // A wake-up that logind never announced (no logind): the clocks alone.
    clocks.asleep(10'000);
    EXPECT_TRUE(detector.tick());
}

TEST(SleepDetector, TheSystemClocksKeepTheBootClockAtOrAheadOfTheMonotonicOne)
{
    const flowloom::sampling::SystemSleepClocks clocks;
    const std::int64_t monotonic = clocks.monotonicMilliseconds();
    const std::int64_t boot = clocks.bootMilliseconds();
    EXPECT_GT(monotonic, 0);
    EXPECT_GE(boot, monotonic);
    SleepDetector detector(clocks);
    EXPECT_FALSE(detector.tick());
}

} // namespace
