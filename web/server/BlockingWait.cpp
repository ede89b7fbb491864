#include "web/server/BlockingWait.h"

namespace flowloom::web {

namespace {
thread_local std::atomic<std::size_t>* t_waiting = nullptr;
} // namespace

void BlockingWait::countOnThisThread(std::atomic<std::size_t>* waiting)
{
    t_waiting = waiting;
}

BlockingWait::BlockingWait() : m_waiting(t_waiting)
{
    if (m_waiting != nullptr)
        m_waiting->fetch_add(1, std::memory_order_relaxed);
}

BlockingWait::~BlockingWait()
{
    if (m_waiting != nullptr)
        m_waiting->fetch_sub(1, std::memory_order_relaxed);
}

} // namespace flowloom::web
