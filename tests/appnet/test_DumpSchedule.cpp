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

enum class Op {
    DueBefore,
    DueOnEvidence,
    DueOnHeaders,
    Dumped,
    Further,
    FurtherFound,
    Explained,
    Forget
};

struct Step
{
    int ms; // since the start
    Op op;
    bool due = false; // for the Due* steps
};

TEST(DumpSchedule, DumpsAtFirstAndEveryPeriodLooksFurtherOnEvidenceSpacedWhileItFindsNothing)
{
    // Evidence: 100 kB beyond nothing explained; headers: within the allowance.
    const std::vector<Step> steps = {
        {0, Op::DueBefore, true}, // the first look
        {0, Op::Dumped},
        {1000, Op::DueBefore, false},
        {1000, Op::DueOnHeaders, false},
        {1000, Op::DueOnEvidence, true}, // at once: it has not come up empty
        {1000, Op::Further},             // found nothing: 1 s before the next
        {1500, Op::DueOnEvidence, false},
        {2000, Op::DueOnEvidence, true},
        {2000, Op::Further}, // 2 s
        {3000, Op::DueOnEvidence, false},
        {4000, Op::DueOnEvidence, true},
        {4000, Op::Further}, // 4 s
        {7999, Op::DueOnEvidence, false},
        {8000, Op::DueOnEvidence, true},
        {8000, Op::Further}, // 8 s
        {16000, Op::DueOnEvidence, true},
        {16000, Op::Further}, // 16 s
        {29999, Op::DueBefore, false},
        {30000, Op::DueBefore, true}, // the period, counted from the last dump
        {30000, Op::Dumped},
        {31999, Op::DueOnEvidence, false},
        {32000, Op::DueOnEvidence, true},
        {32000, Op::Further}, // 32 s, held at the period: 30 s
        {59999, Op::DueBefore, false},
        {60000, Op::DueBefore, true},
        {61999, Op::DueOnEvidence, false},
        {62000, Op::DueOnEvidence, true},
        {62000, Op::FurtherFound}, // it found bytes: at once again
        {62000, Op::DueOnEvidence, true},
        {62001, Op::Further}, // 1 s
        {62500, Op::DueOnEvidence, false},
        {62600, Op::Explained}, // the UDP ended
        {62700, Op::DueOnEvidence, true},
        {62700, Op::DueOnHeaders, false},
        {63000, Op::Forget},
        {63000, Op::DueBefore, true},
    };
    DumpSchedule schedule;
    const Clock::time_point start{1000s};
    for (const Step& step : steps) {
        const Clock::time_point now = start + std::chrono::milliseconds(step.ms);
        switch (step.op) {
        case Op::DueBefore:
            EXPECT_EQ(schedule.dueBeforeLookups(now), step.due) << "at " << step.ms << " ms";
            break;
        case Op::DueOnEvidence:
            EXPECT_EQ(schedule.dueOnEvidence(now, 100'000, 0, 1), step.due)
                << "at " << step.ms << " ms";
            break;
        case Op::DueOnHeaders:
            EXPECT_EQ(schedule.dueOnEvidence(now, 1'000'000 + 125'000 + 4096, 1'000'000, 1),
                      step.due)
                << "at " << step.ms << " ms";
            break;
        case Op::Dumped:
            schedule.dumped(now);
            break;
        case Op::Further:
        case Op::FurtherFound:
            schedule.lookedFurther(now, step.op == Op::FurtherFound);
            break;
        case Op::Explained:
            schedule.explained();
            break;
        case Op::Forget:
            schedule.forget();
            break;
        }
    }
}

} // namespace
