#include "Sync/Run/RunWork.hpp"

namespace Sync {

void RunWork::start(const std::function<Reactive::AnyDisposable()>& work)
{
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(m_mutex);
        generation = ++m_generation;
    }
    // The work may finish (and the next step begin) inside this call.
    auto handle = work();
    {
        std::lock_guard lock(m_mutex);
        if (!m_stopped) {
            if (m_generation == generation) {
                m_work = std::move(handle);
            }
            return;
        }
    }
    handle.dispose();
}

void RunWork::ended()
{
    std::lock_guard lock(m_mutex);
    ++m_generation;
    m_work = Reactive::AnyDisposable();
}

void RunWork::stop()
{
    Reactive::AnyDisposable work;
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        work = std::exchange(m_work, Reactive::AnyDisposable());
    }
    work.dispose();
}

bool RunWork::isStopped() const
{
    std::lock_guard lock(m_mutex);
    return m_stopped;
}

} // namespace Sync
