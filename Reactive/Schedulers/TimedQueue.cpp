#include "Reactive/Schedulers/TimedQueue.hpp"

#include <algorithm>

namespace Reactive::Detail {

ScheduledAction::ScheduledAction(std::function<void()> action)
    : m_action(std::make_shared<std::function<void()>>(std::move(action)))
{
}

void ScheduledAction::dispose()
{
    std::shared_ptr<std::function<void()>> released;
    std::lock_guard lock(m_mutex);
    released = std::move(m_action);
}

bool ScheduledAction::isDisposed() const
{
    std::lock_guard lock(m_mutex);
    return !m_action;
}

void ScheduledAction::run()
{
    std::shared_ptr<std::function<void()>> action;
    {
        std::lock_guard lock(m_mutex);
        action = m_action;
    }
    if (action) {
        (*action)();
    }
}

namespace {

// `std::push_heap` builds a max-heap; this order puts the earliest item on top.
bool later(const TimedQueue::Item& left, const TimedQueue::Item& right)
{
    if (left.date != right.date) {
        return left.date > right.date;
    }
    return left.sequence > right.sequence;
}

}

AnyDisposable TimedQueue::push(TimePoint date, Duration interval, std::function<void()> action, std::source_location location)
{
    auto scheduled = std::make_shared<ScheduledAction>(std::move(action));
    m_items.push_back({ date, m_nextSequence++, interval, scheduled, location });
    std::push_heap(m_items.begin(), m_items.end(), later);
    return AnyDisposable(scheduled);
}

void TimedQueue::repeat(Item&& item)
{
    item.date += item.interval;
    item.sequence = m_nextSequence++;
    m_items.push_back(std::move(item));
    std::push_heap(m_items.begin(), m_items.end(), later);
}

void TimedQueue::dropCancelledFront()
{
    while (!m_items.empty() && m_items.front().action->isDisposed()) {
        std::pop_heap(m_items.begin(), m_items.end(), later);
        m_items.pop_back();
    }
}

std::optional<TimedQueue::Item> TimedQueue::popDue(TimePoint now)
{
    dropCancelledFront();
    if (m_items.empty() || m_items.front().date > now) {
        return std::nullopt;
    }
    std::pop_heap(m_items.begin(), m_items.end(), later);
    Item item = std::move(m_items.back());
    m_items.pop_back();
    return item;
}

std::optional<TimedQueue::TimePoint> TimedQueue::nextDate()
{
    dropCancelledFront();
    if (m_items.empty()) {
        return std::nullopt;
    }
    return m_items.front().date;
}

std::size_t TimedQueue::liveCount() const
{
    return static_cast<std::size_t>(std::count_if(m_items.begin(), m_items.end(),
        [](const Item& item) { return !item.action->isDisposed(); }));
}

void TimedQueue::clear()
{
    auto items = std::move(m_items);
    m_items.clear();
    for (auto& item : items) {
        item.action->dispose();
    }
}

}
