#include "Reactive/Schedulers/TestScheduler.hpp"

namespace Reactive {

TestScheduler::TestScheduler(TimePoint start)
    : m_now(start)
{
}

DateScheduler::TimePoint TestScheduler::currentDate() const
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

AnyDisposable TestScheduler::schedule(std::function<void()> action, std::source_location location)
{
    std::lock_guard lock(m_mutex);
    return m_queue.push(m_now, Duration::zero(), std::move(action), location);
}

AnyDisposable TestScheduler::schedule(TimePoint date, std::function<void()> action, std::source_location location)
{
    std::lock_guard lock(m_mutex);
    return m_queue.push(date, Duration::zero(), std::move(action), location);
}

AnyDisposable TestScheduler::schedule(TimePoint date, Duration interval, std::function<void()> action, std::source_location location)
{
    std::lock_guard lock(m_mutex);
    return m_queue.push(date, interval, std::move(action), location);
}

void TestScheduler::advance(Duration interval)
{
    advanceTo(currentDate() + interval);
}

void TestScheduler::advanceTo(TimePoint date)
{
    for (;;) {
        std::optional<Detail::TimedQueue::Item> item;
        {
            std::lock_guard lock(m_mutex);
            item = m_queue.popDue(date);
            if (!item) {
                if (m_now < date) {
                    m_now = date;
                }
                return;
            }
            if (m_now < item->date) {
                m_now = item->date;
            }
        }
        item->action->run();
        if (item->interval.count() > 0 && !item->action->isDisposed()) {
            std::lock_guard lock(m_mutex);
            m_queue.repeat(std::move(*item));
        }
    }
}

void TestScheduler::run()
{
    for (;;) {
        std::optional<TimePoint> next;
        {
            std::lock_guard lock(m_mutex);
            next = m_queue.nextDate();
        }
        if (!next) {
            return;
        }
        advanceTo(*next);
    }
}

std::size_t TestScheduler::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.liveCount();
}

}
