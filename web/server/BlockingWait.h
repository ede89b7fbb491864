#pragma once

#include <atomic>
#include <cstddef>

namespace flowloom::web {

// Marks, for its lifetime, a wait of a request's worker for something other
// than the processors: another thread's work (an image being drawn) or a slow
// client. The server starts further workers at once only while few of its
// workers are busy on the processors, so waiting workers must say so. Outside
// a worker of the server it does nothing.
class BlockingWait
{
public:
    BlockingWait();
    ~BlockingWait();
    BlockingWait(const BlockingWait&) = delete;
    BlockingWait& operator=(const BlockingWait&) = delete;

    // For the worker pool: the count of the pool whose worker the calling
    // thread is (nullptr: none).
    static void countOnThisThread(std::atomic<std::size_t>* waiting);

private:
    std::atomic<std::size_t>* m_waiting;
};

} // namespace flowloom::web
