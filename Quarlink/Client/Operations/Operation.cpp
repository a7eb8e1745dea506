#include "Quarlink/Client/Operations/Operation.hpp"

namespace Quarlink {

Operation::Operation()
    : m_changes(Reactive::Signal<Flag, Reactive::NoError>::pipe())
{
}

void Operation::cancel()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
}

bool Operation::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

bool Operation::isExecuting() const
{
    std::lock_guard lock(m_mutex);
    return m_executing;
}

bool Operation::isFinished() const
{
    std::lock_guard lock(m_mutex);
    return m_finished;
}

QueuePriority Operation::queuePriority() const
{
    std::lock_guard lock(m_mutex);
    return m_priority;
}

void Operation::setQueuePriority(QueuePriority priority)
{
    std::lock_guard lock(m_mutex);
    m_priority = priority;
}

void Operation::setFinishHandler(QueueKey, std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    m_finishHandler = std::move(handler);
}

void Operation::setExecuting(bool executing)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_executing == executing)
            return;
        m_executing = executing;
    }
    m_changes.second.send(Flag::isExecuting);
}

void Operation::setFinished(bool finished)
{
    std::function<void()> handler;
    {
        std::lock_guard lock(m_mutex);
        if (m_finished == finished)
            return;
        m_finished = finished;
        if (finished)
            handler = std::exchange(m_finishHandler, nullptr);
    }
    m_changes.second.send(Flag::isFinished);
    if (handler)
        handler();
}

} // namespace Quarlink
