#pragma once
// One-way bindings between view-model properties and widgets.

#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"

#include <QObject>
#include <QPointer>

#include <memory>
#include <type_traits>

namespace Orvella {

// The lifetime of a Qt object: it ends when the object is destroyed.
inline Reactive::Lifetime lifetimeOf(QObject* object)
{
    auto [lifetime, token] = Reactive::Lifetime::make();
    auto shared = std::make_shared<Reactive::Lifetime::Token>(std::move(token));
    QObject::connect(object, &QObject::destroyed, [shared] { shared->end(); });
    return lifetime;
}

// Calls `setter(object, value)` with the current value of `source` and then
// with every change, always on the UI scheduler (so a change made on another
// thread reaches the widget on the GUI thread), until `object` is destroyed.
// A value still on its way when the object goes is dropped.
template<class Object, class T, class Setter>
Reactive::AnyDisposable bindProperty(Object* object, const Reactive::Property<T>& source, Setter setter,
    Reactive::SchedulerPtr scheduler = Reactive::UIScheduler::make())
{
    QPointer<Object> guarded(object);
    return source.producer()
        .takeDuring(lifetimeOf(object))
        .observeOn(std::move(scheduler))
        .startWithValues([guarded, setter](const T& value) {
            if (guarded) {
                setter(guarded.data(), value);
            }
        });
}

// Sets `target` to `convert(arguments…)` every time `object` emits `signal`,
// until either of them goes.
template<class Object, class Signal, class T, class Convert>
void bindSignal(Reactive::MutableProperty<T>& target, Object* object, Signal signal, Convert convert)
{
    std::weak_ptr<Reactive::Detail::PropertyState<T>> weakState = target.state();
    QObject::connect(object, signal, object, [weakState, convert](auto&&... arguments) {
        if (auto state = weakState.lock()) {
            state->set(convert(std::forward<decltype(arguments)>(arguments)...));
        }
    });
}

} // namespace Orvella
