#include "Quarlink/Client/WorkQueue.hpp"

#include <algorithm>

namespace Quarlink {

WorkQueue::WorkQueue(std::string name, std::size_t width)
    : m_name(std::move(name))
    , m_width(std::max<std::size_t>(1, width))
{
}

WorkQueue::~WorkQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (auto& thread : m_threads)
        thread.join();
}

void WorkQueue::async(std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        m_waiting.push_back(std::move(work));
        if (m_idle < m_waiting.size() && m_threads.size() < m_width) {
            m_threads.emplace_back([this] { run(); });
            return;
        }
    }
    m_wake.notify_one();
}

void WorkQueue::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_waiting.empty()) {
            if (m_stopping)
                return;
            ++m_idle;
            m_wake.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
            --m_idle;
            continue;
        }
        auto work = std::move(m_waiting.front());
        m_waiting.pop_front();
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
    }
}

} // namespace Quarlink
