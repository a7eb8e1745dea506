#pragma once
// The serialising heart of every signal and every started producer.

#include "Reactive/Disposables/AnyDisposable.hpp"
#include "Reactive/Observer.hpp"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

namespace Reactive::Detail {

// Accepts events from any thread and delivers them to its observers one at a
// time, in the order they were accepted, with no lock held while an observer
// runs. A thread that finds another delivering leaves its event in a queue
// and returns; the delivering thread drains the queue before it lets go. So
// an observer that sends into the same signal (re-entrantly) does not
// deadlock: its event follows once the current one is delivered.
// After the first terminal event is accepted every later event is dropped;
// once it is delivered the observers are released and the termination
// action runs. A signal destroyed before it terminated (nothing can send
// into it any more) interrupts its observers.
template<class V, class E>
class SignalCore final : public ObserverSink<V, E>, public std::enable_shared_from_this<SignalCore<V, E>> {
public:
    using EventType = Event<V, E>;
    // A queued event, or work that must run in order with the events
    // (a property starting a producer: current value first, then changes).
    using Item = std::variant<EventType, std::function<void()>>;

    struct Entry {
        explicit Entry(Observer<V, E> observer) : observer(std::move(observer)) {}
        Observer<V, E> observer;
        std::atomic<bool> active { true };
    };

    explicit SignalCore(std::function<void()> onTerminated = {}) : m_onTerminated(std::move(onTerminated)) {}

    // Nothing can send into a signal that is being destroyed: its observers
    // are interrupted, so that work waiting on it ends instead of waiting forever.
    ~SignalCore() override
    {
        if (m_finished) {
            return;
        }
        m_terminated = true;
        m_finished = true;
        if (m_observers) {
            for (const auto& entry : *m_observers) {
                if (entry->active.load(std::memory_order_acquire)) {
                    entry->observer.sendInterrupted();
                }
            }
        }
        if (m_onTerminated) {
            m_onTerminated();
        }
    }
    SignalCore(const SignalCore&) = delete;
    SignalCore& operator=(const SignalCore&) = delete;

    // For derived signals, which their source reaches only weakly: the
    // signal keeps itself alive while it has observers, so that a derived
    // signal nobody observes or holds goes away (and stops its source work
    // through the termination action).
    void retainWhileObserved()
    {
        std::lock_guard lock(m_mutex);
        m_retainWhileObserved = true;
        updateSelfRetain();
    }

    // Sets the action that runs once the signal has terminated (or is
    // destroyed); runs it at once when that has happened already.
    void setOnTerminated(std::function<void()> action)
    {
        {
            std::lock_guard lock(m_mutex);
            if (!m_finished) {
                m_onTerminated = std::move(action);
                return;
            }
        }
        action();
    }

    void receive(EventType&& event) override
    {
        ObserverList observers;
        {
            std::lock_guard lock(m_mutex);
            if (m_terminated) {
                return;
            }
            if (event.isTerminating()) {
                m_terminated = true;
                m_terminalAccepted = true;
            }
            if (m_delivering) {
                m_queue.emplace_back(std::move(event));
                return;
            }
            m_delivering = true;
            observers = m_observers;
        }
        deliver(std::move(event), observers);
        drain();
    }

    // Two-phase send for callers that must order their own state change with
    // the delivery (a property stores its value and enqueues under its own
    // lock, then delivers after releasing it). Returns the item when the
    // caller must deliver it through `deliverAndDrain`.
    std::optional<Item> enqueue(Item&& item)
    {
        std::lock_guard lock(m_mutex);
        if (auto* event = std::get_if<EventType>(&item)) {
            if (m_terminated) {
                return std::nullopt;
            }
            if (event->isTerminating()) {
                m_terminated = true;
                m_terminalAccepted = true;
            }
        }
        if (m_delivering) {
            m_queue.push_back(std::move(item));
            return std::nullopt;
        }
        m_delivering = true;
        return std::optional<Item>(std::move(item));
    }

    void deliverAndDrain(Item&& item)
    {
        deliverItem(std::move(item));
        drain();
    }

    // Adds an observer. On a signal that has terminated, the observer is sent
    // `interrupted` at once and the returned disposable is empty.
    AnyDisposable observe(Observer<V, E> observer)
    {
        auto entry = std::make_shared<Entry>(std::move(observer));
        if (!addEntry(entry)) {
            entry->observer.sendInterrupted();
            return {};
        }
        return removal(entry);
    }

    // Adds an observer from inside the delivery order (see `Item`).
    // Precondition: called while delivering.
    bool addEntry(const std::shared_ptr<Entry>& entry)
    {
        std::lock_guard lock(m_mutex);
        if (m_terminated || !entry->active.load(std::memory_order_acquire)) {
            return false;
        }
        auto list = std::make_shared<std::vector<std::shared_ptr<Entry>>>();
        if (m_observers) {
            list->reserve(m_observers->size() + 1);
            *list = *m_observers;
        }
        list->push_back(entry);
        m_observers = std::move(list);
        updateSelfRetain();
        return true;
    }

    AnyDisposable removal(const std::shared_ptr<Entry>& entry)
    {
        // Weak on both sides: a pending observation must keep neither the
        // signal nor the observer alive.
        std::weak_ptr<SignalCore> weakSelf = this->weak_from_this();
        std::weak_ptr<Entry> weakEntry = entry;
        return AnyDisposable([weakSelf, weakEntry] {
            auto entry = weakEntry.lock();
            if (!entry) {
                return;
            }
            entry->active.store(false, std::memory_order_release);
            if (auto self = weakSelf.lock()) {
                self->removeEntry(entry);
            }
        });
    }

    // Stops the signal: later events are dropped, and so are queued values.
    // A terminal event already accepted is still delivered (a disposal queues
    // `interrupted` behind a delivery in progress, then stops the signal,
    // maybe just as the delivering thread takes it from the queue); without
    // one the observers are released at once.
    void terminateSilently()
    {
        std::shared_ptr<SignalCore> selfRelease;
        std::deque<Item> discarded;
        ObserverList released;
        {
            std::lock_guard lock(m_mutex);
            m_terminated = true;
            std::deque<Item> kept;
            for (auto& item : m_queue) {
                auto* event = std::get_if<EventType>(&item);
                if (event && event->isValue()) {
                    discarded.push_back(std::move(item));
                } else {
                    kept.push_back(std::move(item));
                }
            }
            m_queue.swap(kept);
            // An accepted terminal event may be queued, or taken from the
            // queue by the delivering thread and not yet handed over: either
            // way it still needs the observers.
            if (!m_terminalAccepted) {
                released = std::exchange(m_observers, nullptr);
                selfRelease = updateSelfRetain();
            }
        }
    }

    bool hasTerminated() const
    {
        std::lock_guard lock(m_mutex);
        return m_terminated;
    }

private:
    using ObserverList = std::shared_ptr<const std::vector<std::shared_ptr<Entry>>>;

    void removeEntry(const std::shared_ptr<Entry>& entry)
    {
        // Released after the lock, in this order: the list, then possibly the signal itself
        // (the caller holds a reference of its own, so this object outlives the call).
        std::shared_ptr<SignalCore> selfRelease;
        ObserverList previous;
        std::lock_guard lock(m_mutex);
        if (!m_observers) {
            return;
        }
        auto list = std::make_shared<std::vector<std::shared_ptr<Entry>>>();
        list->reserve(m_observers->size());
        for (const auto& existing : *m_observers) {
            if (existing != entry) {
                list->push_back(existing);
            }
        }
        previous = std::exchange(m_observers, std::move(list));
        selfRelease = updateSelfRetain();
    }

    // Keeps or drops the self-reference of a derived signal; returns a
    // dropped one for the caller to release once its lock is gone.
    // Precondition: the lock is held.
    std::shared_ptr<SignalCore> updateSelfRetain()
    {
        const bool observed = m_observers && !m_observers->empty() && !m_finished;
        if (m_retainWhileObserved && observed && !m_self) {
            m_self = this->shared_from_this();
        } else if (!observed && m_self) {
            return std::exchange(m_self, nullptr);
        }
        return nullptr;
    }

    void deliverItem(Item&& item)
    {
        if (auto* event = std::get_if<EventType>(&item)) {
            ObserverList observers;
            {
                std::lock_guard lock(m_mutex);
                observers = m_observers;
            }
            deliver(std::move(*event), observers);
        } else {
            std::get<1>(item)();
        }
    }

    void deliver(EventType&& event, const ObserverList& observers)
    {
        const bool terminating = event.isTerminating();
        if (observers && !observers->empty()) {
            const auto count = observers->size();
            for (std::size_t index = 0; index + 1 < count; ++index) {
                const auto& entry = (*observers)[index];
                if (entry->active.load(std::memory_order_acquire)) {
                    entry->observer.sendEvent(EventType(event));
                }
            }
            const auto& last = (*observers)[count - 1];
            if (last->active.load(std::memory_order_acquire)) {
                last->observer.sendEvent(std::move(event));
            }
        }
        if (terminating) {
            std::shared_ptr<SignalCore> selfRelease;
            ObserverList released;
            std::function<void()> onTerminated;
            {
                std::lock_guard lock(m_mutex);
                m_finished = true;
                released = std::exchange(m_observers, nullptr);
                onTerminated = std::exchange(m_onTerminated, nullptr);
                selfRelease = updateSelfRetain();
            }
            if (onTerminated) {
                onTerminated();
            }
        }
    }

    void drain()
    {
        for (;;) {
            std::optional<Item> item;
            {
                std::lock_guard lock(m_mutex);
                if (m_queue.empty()) {
                    m_delivering = false;
                    return;
                }
                item.emplace(std::move(m_queue.front()));
                m_queue.pop_front();
            }
            deliverItem(std::move(*item));
        }
    }

    mutable std::mutex m_mutex;
    bool m_delivering = false;
    bool m_terminated = false;
    bool m_terminalAccepted = false;    // A terminal event was accepted: it is queued, under way or delivered.
    std::deque<Item> m_queue;
    ObserverList m_observers;
    std::function<void()> m_onTerminated;
    bool m_finished = false;            // The terminal event has been delivered.
    bool m_retainWhileObserved = false;
    std::shared_ptr<SignalCore> m_self; // Set while a derived signal has observers.
};

}
