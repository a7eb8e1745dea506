#pragma once
// Operators on a producer's failure.
// Included by SignalProducer.hpp; not meant to be included on its own.

#include "Reactive/SignalProducer.hpp"

namespace Reactive {

template<class V, class E>
template<class F>
auto SignalProducer<V, E>::mapError(F transform) const
{
    using G = std::decay_t<std::invoke_result_t<F&, E&&>>;
    return lift<V, G>([transform = std::move(transform)](Observer<V, G> down) {
        return Observer<V, E>::makeTransform([down = std::move(down), transform](Event<V, E>&& event) mutable {
            down.sendEvent(std::move(event).mapError(transform));
        });
    });
}

template<class V, class E>
template<class G>
SignalProducer<V, G> SignalProducer<V, E>::promoteError() const
{
    if constexpr (std::is_same_v<E, G>) {
        return *this;
    } else if constexpr (std::is_same_v<E, NoError>) {
        return mapError([](NoError&&) -> G { std::unreachable(); });
    } else {
        static_assert(std::is_convertible_v<E, G>, "promoteError needs NoError or an error convertible to the new type");
        return mapError([](E&& error) -> G { return G(std::move(error)); });
    }
}

template<class V, class E>
SignalProducer<V, NoError> SignalProducer<V, E>::ignoreError() const
{
    return lift<V, NoError>([](Observer<V, NoError> down) {
        return Observer<V, E>::makeTransform([down = std::move(down)](Event<V, E>&& event) mutable {
            switch (event.kind()) {
            case Event<V, E>::Kind::value: down.send(std::move(event).value()); break;
            case Event<V, E>::Kind::failed: // A failure counts as a normal end, without a value.
            case Event<V, E>::Kind::completed: down.sendCompleted(); break;
            case Event<V, E>::Kind::interrupted: down.sendInterrupted(); break;
            }
        });
    });
}

}
