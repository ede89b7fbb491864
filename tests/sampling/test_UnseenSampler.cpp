#include "sampling/UnseenSampler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

using namespace flowloom::sampling;
using namespace std::chrono_literals;

namespace {

// Readings numbered in the order they are taken (the number in steadyMs);
// every `failEvery`-th attempt throws instead.
struct NumberedReadings
{
    std::atomic<int> attempts{0};
    int failEvery = 0;
    std::mutex mutex;
    std::condition_variable ready;
    int batches = 0;

    UnseenSampler::Take take()
    {
        return [this] {
            const int attempt = ++attempts;
            if (failEvery != 0 && attempt % failEvery == 0)
                throw std::runtime_error("no table");
            TimedReading reading;
            reading.steadyMs = attempt;
            return reading;
        };
    }
    UnseenSampler::Ready batchReady()
    {
        return [this] {
            {
                const std::lock_guard lock(mutex);
                ++batches;
            }
            ready.notify_all();
        };
    }
    // The bound only keeps a broken sampler from hanging the test.
    bool waitForBatches(int count)
    {
        std::unique_lock lock(mutex);
        return ready.wait_for(lock, 10s, [&] { return batches >= count; });
    }
};

} // namespace

TEST(UnseenSampler, HandsOverEveryReadingOnceInOrderABatchAtATime)
{
    for (const int failEvery : {0, 4}) {
        SCOPED_TRACE(failEvery);
        NumberedReadings readings;
        readings.failEvery = failEvery;
        UnseenSampler sampler(readings.take(), readings.batchReady(), 3);
        sampler.start(1ms, 0ms);
        ASSERT_TRUE(sampler.running());

        std::vector<std::int64_t> seen;
        for (int batch = 1; batch <= 4; ++batch) {
            ASSERT_TRUE(readings.waitForBatches(batch));
            const std::vector<TimedReading> taken = sampler.takeReadings();
            EXPECT_GE(taken.size(), 3u) << "said only when a batch is full";
            for (const TimedReading& reading : taken)
                seen.push_back(reading.steadyMs);
        }
        sampler.stop();
        EXPECT_FALSE(sampler.running());
        const int attempts = readings.attempts;
        for (const TimedReading& reading : sampler.takeReadings())
            seen.push_back(reading.steadyMs);
        EXPECT_EQ(readings.attempts, attempts) << "nothing is read after stop()";

        // Each successful attempt exactly once, oldest first; failed ones left out.
        std::vector<std::int64_t> expected;
        for (int attempt = 1; attempt <= attempts; ++attempt)
            if (failEvery == 0 || attempt % failEvery != 0)
                expected.push_back(attempt);
        EXPECT_EQ(seen, expected);
    }
}

TEST(UnseenSampler, StopsAtOnceDuringAWaitAndStartsAgain)
{
    NumberedReadings readings;
    UnseenSampler sampler(readings.take(), readings.batchReady(), 1);
    sampler.start(1h, 1h);
    const auto before = std::chrono::steady_clock::now();
    sampler.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_EQ(readings.attempts, 0) << "the first reading comes one wait from the start";
    sampler.stop(); // a second stop is harmless

    sampler.start(1ms, 0ms);
    ASSERT_TRUE(readings.waitForBatches(1));
    sampler.stop();
    EXPECT_FALSE(sampler.takeReadings().empty());
}
