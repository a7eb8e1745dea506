#pragma once
// A thread-safe value that can be read, written and observed.

#include "Reactive/Detail/PropertyState.hpp"
#include "Reactive/Lifetime.hpp"
#include "Reactive/Property.hpp"

#include <memory>
#include <utility>

namespace Reactive {

// A value with thread-safe get, set and modify, observable like a
// `Property`. When it is destroyed its changes signal completes (and with it
// every producer started from it) and its `lifetime()` ends; read-only
// views made from it keep its last value. Neither copyable nor movable: it
// is an object with identity (hold it as a member or in a `shared_ptr`).
// Threading: every member may be called from any thread; changes are
// delivered in the order they were made, with no lock held, so an observer
// may set the property again (the new change follows the current one).
template<class T>
class MutableProperty {
public:
    explicit MutableProperty(T initial)
        : m_state(std::make_shared<Detail::PropertyState<T>>(std::move(initial)))
        , m_lifetime(Lifetime::make())
    {
    }
    ~MutableProperty() { m_state->complete(); }

    MutableProperty(const MutableProperty&) = delete;
    MutableProperty& operator=(const MutableProperty&) = delete;

    T value() const { return m_state->value(); }
    void set(T value) { m_state->set(std::move(value)); }
    // Runs `change(value&)` atomically and sends the result; returns what `change` returns.
    // `change` must not touch this property.
    template<class F>
    decltype(auto) modify(F&& change) { return m_state->modify(std::forward<F>(change)); }
    // Sets `value` and returns the value it replaced, atomically.
    T swap(T value)
    {
        return m_state->modify([&](T& current) { return std::exchange(current, std::move(value)); });
    }

    SignalProducer<T, NoError> producer() const { return m_state->producer(); }
    Signal<T, NoError> signal() const { return m_state->signal(); }
    Property<T> property() const { return Property<T>(m_state); }

    // Ends when this property is destroyed; bindings into it end with it.
    Lifetime lifetime() const { return m_lifetime.first; }

    const std::shared_ptr<Detail::PropertyState<T>>& state() const { return m_state; }

private:
    std::shared_ptr<Detail::PropertyState<T>> m_state;
    std::pair<Lifetime, Lifetime::Token> m_lifetime;
};

template<class T>
Property<T>::Property(const MutableProperty<T>& property) : m_state(property.state()) {}

}
