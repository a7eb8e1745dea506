#include "Reactive/Schedulers/QueueScheduler.hpp"

#include "Reactive/Schedulers/TimedQueue.hpp"

#include <condition_variable>
#include <mutex>
#include <pthread.h>

namespace Reactive {

// Shared with the thread, which may outlive the scheduler object by the
// item it is running.
struct QueueScheduler::State {
    std::mutex mutex;
    std::condition_variable wake;
    Detail::TimedQueue queue;
    bool stopping = false;

    void run()
    {
        std::unique_lock lock(mutex);
        while (!stopping) {
            const auto now = Clock::now();
            if (auto item = queue.popDue(now)) {
                lock.unlock();
                item->action->run();
                lock.lock();
                if (item->interval.count() > 0 && !item->action->isDisposed()) {
                    queue.repeat(std::move(*item));
                } else {
                    // Destroyed outside the lock: the action may own anything.
                    lock.unlock();
                    item.reset();
                    lock.lock();
                }
                continue;
            }
            if (auto next = queue.nextDate()) {
                wake.wait_until(lock, *next);
            } else {
                wake.wait(lock);
            }
        }
        auto dropped = std::move(queue);
        lock.unlock();
    }
};

QueueScheduler::QueueScheduler(std::string name)
    : m_name(std::move(name))
    , m_state(std::make_shared<State>())
{
    m_thread = std::thread([state = m_state, threadName = m_name.substr(0, 15)] {
        pthread_setname_np(pthread_self(), threadName.c_str());
        state->run();
    });
}

QueueScheduler::~QueueScheduler()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->wake.notify_all();
    // The last reference can be dropped by work running on the scheduler's
    // own thread; that thread cannot join itself, and holds the state alive.
    if (m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach();
    } else {
        m_thread.join();
    }
}

std::shared_ptr<QueueScheduler> QueueScheduler::make(std::string name)
{
    return std::make_shared<QueueScheduler>(std::move(name));
}

bool QueueScheduler::isCurrent() const
{
    return m_thread.get_id() == std::this_thread::get_id();
}

AnyDisposable QueueScheduler::schedule(std::function<void()> action, std::source_location location)
{
    return schedule(Clock::now(), Duration::zero(), std::move(action), location);
}

AnyDisposable QueueScheduler::schedule(TimePoint date, std::function<void()> action, std::source_location location)
{
    return schedule(date, Duration::zero(), std::move(action), location);
}

AnyDisposable QueueScheduler::schedule(TimePoint date, Duration interval, std::function<void()> action, std::source_location location)
{
    // A local reference: once the work is queued, it may release this scheduler.
    auto state = m_state;
    AnyDisposable handle;
    {
        std::lock_guard lock(state->mutex);
        handle = state->queue.push(date, interval, std::move(action), location);
    }
    state->wake.notify_one();
    return handle;
}

}
