#include "sampling/ThdTimer.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <gtest/gtest.h>

using namespace flowloom::sampling;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {
// Stands in for the user-interface thread: the test thread runs what the
// timer's worker posts, when the test pumps it.
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
    // Runs posted calls until `deadline`.
    void pumpUntil(Clock::time_point deadline)
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (!m_posted.wait_until(lock, deadline, [&] { return !m_queue.empty(); }))
                return;
            auto f = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            f();
            lock.lock();
        }
    }
    void pumpFor(Clock::duration d) { pumpUntil(Clock::now() + d); }

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_queue;
};
} // namespace

TEST(ThreadedTimer, FirstTickComesOneIntervalAfterEnablingAndDisablingStopsAtOnce)
{
    FakeUiThread ui;
    TThreadedTimer timer(ui.poster());
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    timer.setInterval(100);
    std::vector<Clock::time_point> ticks;
    timer.OnTimer = [&](TThreadedTimer&) { ticks.push_back(Clock::now()); };

    const auto enabledAt = Clock::now();
    timer.setEnabled(true);
    ui.pumpFor(350ms);
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_GE(ticks.front() - enabledAt, 95ms);

    timer.setEnabled(false);
    const std::size_t seen = ticks.size();
    ui.pumpFor(300ms);
    EXPECT_EQ(ticks.size(), seen) << "no tick after disabling";

    // Re-enabling restarts a full interval.
    const auto reenabledAt = Clock::now();
    timer.setEnabled(true);
    ui.pumpFor(250ms);
    ASSERT_GT(ticks.size(), seen);
    EXPECT_GE(ticks[seen] - reenabledAt, 95ms);
}

TEST(ThreadedTimer, ZeroIntervalWithoutAllowZeroDeliversNothing)
{
    FakeUiThread ui;
    TThreadedTimer timer(ui.poster());
    int ticks = 0;
    timer.OnTimer = [&](TThreadedTimer&) { ++ticks; };
    timer.setInterval(0);
    timer.setEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    ui.pumpFor(150ms);
    EXPECT_EQ(ticks, 0);
}

TEST(ThreadedTimer, TicksNeverOverlapAndErrorsAreDiscarded)
{
    FakeUiThread ui;
    TThreadedTimer timer(ui.poster());
    timer.setInterval(20);
    std::atomic<int> inside{0};
    int overlaps = 0;
    int ticks = 0;
    std::vector<Clock::time_point> starts;
    timer.OnTimer = [&](TThreadedTimer& self) {
        // As the program's tick does: clock off at the start, on at the end.
        self.setEnabled(false);
        if (inside.fetch_add(1) != 0)
            ++overlaps;
        starts.push_back(Clock::now());
        std::this_thread::sleep_for(60ms); // work longer than the interval
        --inside;
        ++ticks;
        self.setEnabled(true);
        if (ticks % 2 == 0)
            throw std::runtime_error("tick failed");
    };
    timer.setEnabled(true);
    ui.pumpFor(600ms);
    EXPECT_EQ(overlaps, 0);
    EXPECT_GE(ticks, 4) << "errors raised by a tick do not stop the clock";
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_GE(starts[i] - starts[i - 1], 78ms) << "the interval follows the previous work";
}

TEST(ThreadedTimer, DestructionWithATickPendingReturnsPromptly)
{
    FakeUiThread ui; // never pumped: the posted tick waits forever
    auto started = Clock::now();
    {
        TThreadedTimer timer(ui.poster());
        timer.setInterval(10);
        timer.OnTimer = [](TThreadedTimer&) { FAIL() << "a destroyed timer must not tick"; };
        timer.setEnabled(true);
        std::this_thread::sleep_for(50ms); // the worker is now blocked on the hand-over
    }
    EXPECT_LT(Clock::now() - started, 1s);
    ui.pumpFor(20ms); // the stale tick finds no timer and does nothing
}
