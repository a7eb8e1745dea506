#include "Reactive/Detail/TimedQueue.hpp"

#include <algorithm>

namespace Reactive::Detail {

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
    auto handle = AnyDisposable::flag();
    m_items.push_back({ date, m_nextSequence++, interval, std::move(action), handle.state(), location });
    std::push_heap(m_items.begin(), m_items.end(), later);
    return handle;
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
    while (!m_items.empty() && m_items.front().cancellation->isDisposed()) {
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
        [](const Item& item) { return !item.cancellation->isDisposed(); }));
}

}
