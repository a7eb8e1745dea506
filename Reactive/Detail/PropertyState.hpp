#pragma once
// The shared state of a property: its value and the signal of its changes.

#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <memory>
#include <mutex>
#include <utility>

namespace Reactive::Detail {

// A value behind a lock plus the signal of its changes. A change is stored
// and queued for delivery under the lock and delivered after it is
// released, so observers see changes in the order they were made and run
// with no lock held. The changes signal completes when the state goes away
// or `complete()` is called.
template<class T>
class PropertyState : public std::enable_shared_from_this<PropertyState<T>> {
public:
    using Core = SignalCore<T, NoError>;

    explicit PropertyState(T initial) : m_value(std::move(initial)), m_core(std::make_shared<Core>()) {}
    virtual ~PropertyState()
    {
        m_observation.dispose();
        complete();
    }

    T value() const
    {
        std::lock_guard lock(m_mutex);
        return m_value;
    }

    void set(T value)
    {
        modify([&](T& current) { current = std::move(value); });
    }

    // Runs `change` on the value under the lock, then sends the new value.
    // `change` must not touch this property.
    template<class F>
    decltype(auto) modify(F&& change)
    {
        std::optional<typename Core::Item> item;
        if constexpr (std::is_void_v<std::invoke_result_t<F, T&>>) {
            {
                std::lock_guard lock(m_mutex);
                std::forward<F>(change)(m_value);
                item = m_core->enqueue(typename Core::Item(Event<T, NoError>::makeValue(m_value)));
            }
            if (item) {
                m_core->deliverAndDrain(std::move(*item));
            }
        } else {
            std::unique_lock lock(m_mutex);
            auto result = std::forward<F>(change)(m_value);
            item = m_core->enqueue(typename Core::Item(Event<T, NoError>::makeValue(m_value)));
            lock.unlock();
            if (item) {
                m_core->deliverAndDrain(std::move(*item));
            }
            return result;
        }
    }

    // Runs `change` on the value under the lock; sends the value only when
    // `change` returns true. `change` must not touch this property.
    template<class F>
    bool modifyIf(F&& change)
    {
        std::optional<typename Core::Item> item;
        bool changed = false;
        {
            std::lock_guard lock(m_mutex);
            changed = std::forward<F>(change)(m_value);
            if (changed) {
                item = m_core->enqueue(typename Core::Item(Event<T, NoError>::makeValue(m_value)));
            }
        }
        if (item) {
            m_core->deliverAndDrain(std::move(*item));
        }
        return changed;
    }

    // Sets the value without announcing it (a derived property taking its first value).
    void setSilently(T value)
    {
        std::lock_guard lock(m_mutex);
        m_value = std::move(value);
    }

    void complete() { m_core->receive(Event<T, NoError>::makeCompleted()); }

    Signal<T, NoError> signal() const { return Signal<T, NoError>(m_core); }

    // The current value, then every change, in order; completes when the
    // changes signal has completed. Holds the state while the producer exists.
    SignalProducer<T, NoError> producer()
    {
        auto self = this->shared_from_this();
        return SignalProducer<T, NoError>([self](Observer<T, NoError> observer, Lifetime lifetime) {
            auto entry = std::make_shared<typename Core::Entry>(observer);
            lifetime += self->m_core->removal(entry);
            std::optional<typename Core::Item> item;
            {
                std::lock_guard lock(self->m_mutex);
                // Current value and registration run in the delivery order,
                // so no change can slip between them.
                item = self->m_core->enqueue(typename Core::Item(std::function<void()>(
                    [core = self->m_core, entry, observer, value = self->m_value] {
                        observer.send(value);
                        if (!core->addEntry(entry)) {
                            observer.sendCompleted();
                        }
                    })));
            }
            if (item) {
                self->m_core->deliverAndDrain(std::move(*item));
            }
        });
    }

    // Keeps `retained` alive and disposes `observation` with this state (derived properties).
    void retain(std::shared_ptr<void> retained, AnyDisposable observation)
    {
        m_retained = std::move(retained);
        m_observation = std::move(observation);
    }

private:
    mutable std::mutex m_mutex;
    T m_value;
    std::shared_ptr<Core> m_core;
    std::shared_ptr<void> m_retained;
    AnyDisposable m_observation;
};

}
