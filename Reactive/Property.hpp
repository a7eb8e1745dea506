#pragma once
// A read-only value that changes over time and can be observed.

#include "Reactive/Detail/PropertyState.hpp"
#include "Reactive/SignalProducer.hpp"

#include <memory>
#include <tuple>
#include <utility>

namespace Reactive {

template<class T>
class MutableProperty;

// A read-only view of a value: `value()` now, `producer()` for the current
// value followed by every change, `signal()` for changes only. Derived
// properties (`map`, `combineLatest`, `andWith`) follow their sources and
// keep them alive. A handle is cheap to copy; copies are the same property.
// Threading: every member may be called from any thread; changes are
// delivered in the order they were made, with no lock held.
template<class T>
class Property {
public:
    // A property that never changes.
    static Property constant(T value)
    {
        auto state = std::make_shared<Detail::PropertyState<T>>(std::move(value));
        state->complete();
        return Property(state);
    }

    // Starts at `initial` and then takes every value of `changes`.
    static Property make(T initial, SignalProducer<T, NoError> changes)
    {
        return follow(std::move(initial), std::move(changes), false);
    }

    Property(const MutableProperty<T>& property); // NOLINT: a mutable property is a property.

    T value() const { return m_state->value(); }
    SignalProducer<T, NoError> producer() const { return m_state->producer(); }
    Signal<T, NoError> signal() const { return m_state->signal(); }

    // A property whose value is `transform(value())`, following every change.
    template<class F>
    auto map(F transform) const
    {
        using U = std::decay_t<std::invoke_result_t<F&, const T&>>;
        auto initial = transform(value());
        return Property<U>::follow(std::move(initial), producer().map([transform](T&& value) { return transform(value); }), true);
    }

    // The pair of both latest values; changes whenever either changes.
    template<class U>
    Property<std::pair<T, U>> combineLatestWith(const Property<U>& other) const
    {
        return Property<std::pair<T, U>>::follow(std::pair<T, U>(value(), other.value()),
            producer().combineLatestWith(other.producer()), true);
    }

    // For boolean properties: true when both are true.
    Property<bool> andWith(const Property<bool>& other) const
        requires std::same_as<T, bool>
    {
        return combineLatestWith(other).map([](const std::pair<bool, bool>& both) { return both.first && both.second; });
    }

    // For boolean properties: true when either is true.
    Property<bool> orWith(const Property<bool>& other) const
        requires std::same_as<T, bool>
    {
        return combineLatestWith(other).map([](const std::pair<bool, bool>& both) { return both.first || both.second; });
    }

    explicit Property(std::shared_ptr<Detail::PropertyState<T>> state) : m_state(std::move(state)) {}

    // Follows `changes`; when `startsWithCurrent`, the first value (the
    // source's current one) only confirms the initial value.
    static Property follow(T initial, SignalProducer<T, NoError> changes, bool startsWithCurrent)
    {
        auto state = std::make_shared<Detail::PropertyState<T>>(std::move(initial));
        std::weak_ptr<Detail::PropertyState<T>> weakState = state;
        auto observation = changes.start(Observer<T, NoError>::make(
            [weakState, first = startsWithCurrent](Event<T, NoError>&& event) mutable {
                auto strong = weakState.lock();
                if (!strong) {
                    return;
                }
                if (event.isValue()) {
                    if (std::exchange(first, false)) {
                        strong->setSilently(std::move(event).value());
                    } else {
                        strong->set(std::move(event).value());
                    }
                } else {
                    strong->complete();
                }
            }));
        state->retain(std::make_shared<SignalProducer<T, NoError>>(std::move(changes)), std::move(observation));
        return Property(state);
    }

private:
    std::shared_ptr<Detail::PropertyState<T>> m_state;
};

// The latest values of two or three properties; changes whenever any of them changes.
template<class A, class B>
Property<std::tuple<A, B>> combineLatest(const Property<A>& first, const Property<B>& second)
{
    return Property<std::tuple<A, B>>::follow(std::tuple<A, B>(first.value(), second.value()),
        combineLatest(first.producer(), second.producer()), true);
}

template<class A, class B, class C>
Property<std::tuple<A, B, C>> combineLatest(const Property<A>& first, const Property<B>& second, const Property<C>& third)
{
    return Property<std::tuple<A, B, C>>::follow(std::tuple<A, B, C>(first.value(), second.value(), third.value()),
        combineLatest(first.producer(), second.producer(), third.producer()), true);
}

}

#include "Reactive/MutableProperty.hpp"
