#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace flowloom::app {

// Runs file writes one at a time on a worker thread of its own, so that the
// UI thread only gathers what to write. A job submitted while another one
// still waits replaces it: only the newest content is worth writing.
class BackgroundSaver
{
public:
    // A job reports its own failures; it must not throw.
    using Job = std::function<void()>;

    BackgroundSaver();
    // Runs a job that still waits, then ends the worker.
    ~BackgroundSaver();
    BackgroundSaver(const BackgroundSaver&) = delete;
    BackgroundSaver& operator=(const BackgroundSaver&) = delete;

    void submit(Job job);
    // Returns once no job runs or waits, so that a write of the caller's own
    // cannot be overtaken by an older one.
    void wait();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Job> m_waiting;
    bool m_running = false;
    bool m_ending = false;
    std::thread m_worker; // last: starts once the members above exist
};

} // namespace flowloom::app
