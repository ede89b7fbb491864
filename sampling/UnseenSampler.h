#pragma once

#include "sampling/DateTime.h"
#include "sampling/IPHelper.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace flowloom::sampling {

// One reading of the interface table with the moments it was taken at, so
// that a tick worked out later counts as if it ran when the reading was taken.
struct TimedReading
{
    TMIBIfArray rows;
    DateTime wall;
    std::int64_t steadyMs = 0;
    std::int64_t sleepAheadMs = 0; // the boot clock's lead on the monotonic one
};

// An interface source that several threads may read: one reading at a time,
// in the order they ask (a source keeps state from one reading to the next).
class SerialSource final : public InterfaceSource
{
public:
    explicit SerialSource(InterfaceSource& source) : m_source(source) {}

    TMIBIfArray interfaceSnapshot() override;
    TMibIPAddrArray addressSnapshot() override;

private:
    std::mutex m_mutex;
    InterfaceSource& m_source;
};

// Takes the readings on a thread of its own while nobody looks at the
// figures, so that the window's thread sleeps: every `batch` readings it says
// so once (from its thread), and the owner takes them and works out their
// ticks in one go. A reading comes one interval after the previous one.
class UnseenSampler
{
public:
    using Take = std::function<TimedReading()>; // runs on the sampler's thread
    using Ready = std::function<void()>;        // runs on the sampler's thread

    UnseenSampler(Take take, Ready batchReady, std::size_t batch);
    ~UnseenSampler(); // stops
    UnseenSampler(const UnseenSampler&) = delete;
    UnseenSampler& operator=(const UnseenSampler&) = delete;

    // Starts taking readings, the first `firstIn` from now; no-op while running.
    void start(std::chrono::milliseconds interval, std::chrono::milliseconds firstIn);
    // Returns once no reading is being taken and none will be.
    void stop();
    bool running() const { return m_thread.joinable(); }
    // The readings taken and not handed over yet, oldest first.
    std::vector<TimedReading> takeReadings();

private:
    void run(std::chrono::milliseconds interval, std::chrono::steady_clock::time_point first);

    Take m_take;
    Ready m_batchReady;
    std::size_t m_batch;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::vector<TimedReading> m_readings;
    std::thread m_thread;
};

} // namespace flowloom::sampling
