#include "LocalCloud/Http/Gate.hpp"

namespace LocalCloud {

void Gate::release(std::size_t count)
{
    {
        std::lock_guard lock(m_mutex);
        m_permits += count;
    }
    m_changed.notify_all();
}

void Gate::open()
{
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
    }
    m_changed.notify_all();
}

std::size_t Gate::waitingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_waiting;
}

bool Gate::waitForWaiting(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_waiting >= count; });
}

void Gate::pass()
{
    std::unique_lock lock(m_mutex);
    ++m_waiting;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_open || m_permits > 0; });
    if (!m_open)
        --m_permits;
    --m_waiting;
    m_changed.notify_all();
}

} // namespace LocalCloud
