#include "Quarlink/Client/WorkQueue.hpp"

#include <algorithm>

namespace Quarlink {

WorkQueue::WorkQueue(std::string name, std::size_t width)
    : m_name(std::move(name))
    , m_width(std::max<std::size_t>(1, width))
    , m_state(std::make_shared<State>())
{
}

WorkQueue::~WorkQueue()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->wake.notify_all();
    for (auto& thread : m_threads) {
        // A thread cannot join itself; it ends on its own once the waiting work is done.
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
}

void WorkQueue::async(std::function<void()> work)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->waiting.push_back(std::move(work));
        if (m_state->idle < m_state->waiting.size() && m_threads.size() < m_width) {
            m_threads.emplace_back([state = m_state] { run(state); });
            return;
        }
    }
    m_state->wake.notify_one();
}

void WorkQueue::run(const std::shared_ptr<State>& state)
{
    std::unique_lock lock(state->mutex);
    for (;;) {
        if (state->waiting.empty()) {
            if (state->stopping)
                return;
            ++state->idle;
            state->wake.wait(lock, [&state] { return state->stopping || !state->waiting.empty(); });
            --state->idle;
            continue;
        }
        auto work = std::move(state->waiting.front());
        state->waiting.pop_front();
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
    }
}

} // namespace Quarlink
