#pragma once
// Where a stream's values can be bound: properties, actions, any sink with a lifetime.

#include "Reactive/Lifetime.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Reactive/SignalProducer.hpp"

#include <functional>
#include <memory>

namespace Reactive {

template<class I, class O, class E>
class Action;

// Something that takes values for as long as its lifetime lasts: `action`
// is called with every value bound into it, on `scheduler` when one is given
// (otherwise on the thread that delivers the value).
template<class T>
struct BindingTarget {
    Lifetime lifetime;
    std::function<void(const T&)> action;
    SchedulerPtr scheduler = nullptr;
};

// A target that sets `property`; it ends when the property is destroyed.
template<class T>
BindingTarget<T> bindingTarget(MutableProperty<T>& property)
{
    std::weak_ptr<Detail::PropertyState<T>> weakState = property.state();
    return { property.lifetime(), [weakState](const T& value) {
                if (auto state = weakState.lock()) {
                    state->set(value);
                }
            } };
}

// A target that applies `action` to every value (see `Action::bindingTarget`).
template<class I, class O, class E>
BindingTarget<I> bindingTarget(const Action<I, O, E>& action)
{
    return action.bindingTarget();
}

namespace Detail {

template<class T>
struct IsBindingTarget : std::false_type {};
template<class T>
struct IsBindingTarget<BindingTarget<T>> : std::true_type {};
template<class T>
struct IsMutableProperty : std::false_type {};
template<class T>
struct IsMutableProperty<MutableProperty<T>> : std::true_type {};
template<class T>
struct IsAction : std::false_type {};
template<class I, class O, class E>
struct IsAction<Action<I, O, E>> : std::true_type {};
template<class T>
struct IsSignal : std::false_type {};
template<class V, class E>
struct IsSignal<Signal<V, E>> : std::true_type {};
template<class T>
struct IsProperty : std::false_type {};
template<class T>
struct IsProperty<Property<T>> : std::true_type {};

template<class T>
concept Bindable = IsBindingTarget<std::remove_cvref_t<T>>::value || IsMutableProperty<std::remove_cvref_t<T>>::value
    || IsAction<std::remove_cvref_t<T>>::value;

template<class T>
concept BindingSource = IsProducer<std::remove_cvref_t<T>>::value || IsSignal<std::remove_cvref_t<T>>::value
    || IsProperty<std::remove_cvref_t<T>>::value || IsMutableProperty<std::remove_cvref_t<T>>::value;

// A producer from any binding source; properties give their current value first.
template<class Source>
auto bindingProducer(const Source& source)
{
    if constexpr (IsProducer<Source>::value) {
        return source;
    } else if constexpr (IsSignal<Source>::value) {
        return SignalProducer<typename Source::Value, typename Source::Error>(source);
    } else {
        return source.producer();
    }
}

template<class Target>
auto asBindingTarget(Target& target)
{
    if constexpr (IsBindingTarget<std::remove_const_t<Target>>::value) {
        return target;
    } else {
        return bindingTarget(target);
    }
}

}

// Sends every value of `source` (a producer, a signal or a property, whose
// current value comes first) into `target` (a `BindingTarget`, a
// `MutableProperty` or an `Action`) until the target's lifetime ends or
// `source` terminates; a failure ends the binding silently. Returns the
// handle that ends the binding early.
// One forwarding template on purpose: it is preferred over `std::bind`,
// which argument-dependent lookup also finds for `Unit` (`std::monostate`).
template<class Target, class Source>
    requires Detail::Bindable<Target> && Detail::BindingSource<Source>
AnyDisposable bind(Target&& target, Source&& source)
{
    auto resolved = Detail::asBindingTarget(target);
    auto producer = Detail::bindingProducer(source).takeDuring(resolved.lifetime);
    using U = typename decltype(producer)::Value;
    auto action = resolved.action;
    if (resolved.scheduler) {
        return producer.observeOn(resolved.scheduler).startWithValues([action](const U& value) { action(value); });
    }
    return producer.startWithValues([action](const U& value) { action(value); });
}

}
