#include "Reactive/Detail/ProducerInstance.hpp"

namespace Reactive::Detail {

bool ProducerInstance::attach(std::function<void()> interrupt, std::function<void()> end)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_ended) {
            m_interrupt = std::move(interrupt);
            m_end = std::move(end);
            return true;
        }
    }
    end();
    return false;
}

void ProducerInstance::dispose()
{
    if (m_disposed.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    std::function<void()> interrupt;
    {
        std::lock_guard lock(m_mutex);
        interrupt = std::move(m_interrupt);
        m_interrupt = nullptr;
    }
    if (interrupt) {
        interrupt();
    }
    // Ends upstream now even when the interruption is still queued behind
    // another thread's delivery.
    end();
}

void ProducerInstance::end()
{
    std::function<void()> end;
    std::function<void()> interrupt;
    {
        std::lock_guard lock(m_mutex);
        if (m_ended) {
            return;
        }
        m_ended = true;
        end = std::move(m_end);
        interrupt = std::move(m_interrupt);
        m_end = nullptr;
        m_interrupt = nullptr;
    }
    if (end) {
        end();
    }
}

bool ProducerInstance::hasEnded() const
{
    std::lock_guard lock(m_mutex);
    return m_ended;
}

}
