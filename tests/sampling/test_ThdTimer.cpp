#include "sampling/ThdTimer.h"
#include "support/ManualTimerWait.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>

using namespace flowloom::sampling;
using flowloom::testsupport::ManualTimerWait;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {
// Stands in for the user-interface thread: the test thread runs what the
// timer's worker posts, when the test says so.
class FakeUiThread
{
public:
    TThreadedTimer::Poster poster()
    {
        return [this](std::function<void()> f) {
            {
                std::lock_guard lock(m_mutex);
                m_queue.push_back(std::move(f));
            }
            m_posted.notify_all();
        };
    }
    // Waits for a posted call; the bound only keeps a broken timer from hanging the test.
    bool waitForPost()
    {
        std::unique_lock lock(m_mutex);
        return m_posted.wait_for(lock, 10s, [&] { return !m_queue.empty(); });
    }
    // Runs the oldest posted call, if any.
    void runOne()
    {
        std::unique_lock lock(m_mutex);
        if (m_queue.empty())
            return;
        auto f = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        f();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_queue;
};
} // namespace

TEST(ThreadedTimer, FirstTickComesOneIntervalAfterEnablingAndDisablingStopsAtOnce)
{
    auto owned = std::make_unique<ManualTimerWait>();
    ManualTimerWait& wait = *owned;
    TThreadedTimer timer(std::move(owned));
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    timer.setInterval(100);
    std::vector<std::int64_t> ticks;
    timer.OnTimer = [&](TThreadedTimer&) { ticks.push_back(wait.now()); };

    const std::int64_t enabledAt = wait.now();
    timer.setEnabled(true);
    wait.advance(350);
    ASSERT_EQ(ticks.size(), 3u) << "ticks at 100, 200 and 300 ms";
    EXPECT_EQ(ticks.front() - enabledAt, 100);

    // Disabled 50 ms into an interval: nothing comes, not even at its end.
    timer.setEnabled(false);
    const std::size_t seen = ticks.size();
    wait.advance(300);
    EXPECT_EQ(ticks.size(), seen) << "no tick after disabling";

    // Re-enabling restarts a full interval.
    const std::int64_t reenabledAt = wait.now();
    timer.setEnabled(true);
    wait.advance(250);
    ASSERT_GT(ticks.size(), seen);
    EXPECT_EQ(ticks[seen] - reenabledAt, 100);

    // Enabled to go on where a clock elsewhere left off: the first tick
    // comes after the rest of an interval, then whole intervals again.
    timer.setEnabled(false);
    const std::size_t before = ticks.size();
    const std::int64_t resumedAt = wait.now();
    timer.enableAfter(30);
    timer.enableAfter(70); // already enabled: the first wait stands
    wait.advance(250);
    ASSERT_EQ(ticks.size(), before + 3);
    EXPECT_EQ(ticks[before] - resumedAt, 30);
    EXPECT_EQ(ticks[before + 1] - ticks[before], 100);
}

TEST(ThreadedTimer, ZeroIntervalWithoutAllowZeroDeliversNothing)
{
    auto owned = std::make_unique<ManualTimerWait>();
    ManualTimerWait& wait = *owned;
    TThreadedTimer timer(std::move(owned));
    int ticks = 0;
    timer.OnTimer = [&](TThreadedTimer&) { ++ticks; };
    timer.setInterval(0);
    timer.setEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_FALSE(wait.armed());
    wait.advance(150);
    EXPECT_EQ(ticks, 0);
}

TEST(ThreadedTimer, TicksNeverOverlapAndErrorsAreDiscarded)
{
    auto owned = std::make_unique<ManualTimerWait>();
    ManualTimerWait& wait = *owned;
    TThreadedTimer timer(std::move(owned));
    timer.setInterval(20);
    int inside = 0;
    int overlaps = 0;
    int ticks = 0;
    std::vector<std::int64_t> starts;
    timer.OnTimer = [&](TThreadedTimer& self) {
        // As the program's tick does: clock off at the start, on at the end.
        self.setEnabled(false);
        if (inside++ != 0)
            ++overlaps;
        starts.push_back(wait.now());
        wait.spend(60); // work longer than the interval
        --inside;
        ++ticks;
        self.setEnabled(true);
        if (ticks % 2 == 0)
            throw std::runtime_error("tick failed");
    };
    timer.setEnabled(true);
    wait.advance(600);
    EXPECT_EQ(overlaps, 0);
    // Starts at 20 ms, then every 20 + 60 ms: 20, 100, ..., 580.
    EXPECT_EQ(ticks, 8) << "errors raised by a tick do not stop the clock";
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_EQ(starts[i] - starts[i - 1], 80) << "the interval follows the previous work";
}

// Each arming costs the event loop a timer registration: a tick that turns
// the clock off and on again (as the program's does) arms the next wait
// once, at its end; one that turns it off for good arms nothing.
TEST(ThreadedTimer, ATickThatTurnsTheClockOffAndOnArmsTheNextWaitOnce)
{
    auto owned = std::make_unique<ManualTimerWait>();
    ManualTimerWait& wait = *owned;
    TThreadedTimer timer(std::move(owned));
    timer.setInterval(100);
    bool stopForGood = false;
    std::vector<std::int64_t> starts;
    timer.OnTimer = [&](TThreadedTimer& self) {
        starts.push_back(wait.now());
        self.setEnabled(false);
        wait.spend(30);
        if (!stopForGood)
            self.setEnabled(true);
    };
    timer.setEnabled(true);
    ASSERT_EQ(wait.arms(), 1);
    wait.advance(1000);
    // Ticks at 100, 230, 360, ..., 880: seven, each arming the next wait once.
    ASSERT_EQ(starts.size(), 7u);
    EXPECT_EQ(wait.arms(), 1 + 7);
    EXPECT_EQ(starts[1] - starts[0], 130) << "the interval counts from the end of the work";

    stopForGood = true;
    wait.advance(200);
    EXPECT_EQ(starts.size(), 8u);
    EXPECT_EQ(wait.arms(), 1 + 7) << "turned off: nothing armed";
    EXPECT_FALSE(wait.armed());
    wait.advance(1000);
    EXPECT_EQ(starts.size(), 8u);
}

TEST(WorkerThreadWait, AnExpiryCountsOnlyWhileItsArmingStands)
{
    FakeUiThread ui;
    Clock::time_point now = Clock::now(); // moved by hand only
    WorkerThreadWait wait(ui.poster(), [&] { return now; });
    int expiries = 0;
    wait.expired = [&] { ++expiries; };

    wait.arm(1);
    ASSERT_TRUE(ui.waitForPost());
    now += 1ms;
    ui.runOne();
    EXPECT_EQ(expiries, 1) << "the kernel timer's expiry reaches the UI thread";

    // A later arming overtakes an expiry already queued; its own expiry comes.
    wait.arm(1);
    ASSERT_TRUE(ui.waitForPost());
    wait.arm(1);
    ui.runOne();
    EXPECT_EQ(expiries, 1);
    now += 1ms;
    ASSERT_TRUE(ui.waitForPost());
    ui.runOne();
    EXPECT_EQ(expiries, 2);

    // So does a disarming.
    wait.arm(1);
    ASSERT_TRUE(ui.waitForPost());
    wait.disarm();
    now += 1ms;
    ui.runOne();
    EXPECT_EQ(expiries, 2);
}

TEST(ThreadedTimer, DestructionWithATickPendingReturnsPromptly)
{
    FakeUiThread ui; // not run until the timer is gone
    auto started = Clock::now();
    {
        TThreadedTimer timer(ui.poster());
        timer.setInterval(10);
        timer.OnTimer = [](TThreadedTimer&) { FAIL() << "a destroyed timer must not tick"; };
        timer.setEnabled(true);
        ASSERT_TRUE(ui.waitForPost()); // the tick now waits for the UI thread
    }
    EXPECT_LT(Clock::now() - started, 1s);
    ui.runOne(); // the stale tick finds no timer and does nothing
}
