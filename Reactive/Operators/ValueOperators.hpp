#pragma once
// Operators that transform, drop or gather values, one event at a time.
// Included by SignalProducer.hpp; not meant to be included on its own.

#include "Reactive/SignalProducer.hpp"

namespace Reactive {

template<class V, class E>
template<class F>
auto SignalProducer<V, E>::map(F transform) const
{
    using U = std::decay_t<std::invoke_result_t<F&, V&&>>;
    return lift<U, E>([transform = std::move(transform)](Observer<U, E> down) {
        return Observer<V, E>::makeTransform([down = std::move(down), transform](Event<V, E>&& event) mutable {
            down.sendEvent(std::move(event).mapValue(transform));
        });
    });
}

template<class V, class E>
template<class F>
auto SignalProducer<V, E>::filter(F predicate) const
{
    return lift<V, E>([predicate = std::move(predicate)](Observer<V, E> down) {
        return Observer<V, E>::makeTransform([down = std::move(down), predicate](Event<V, E>&& event) mutable {
            if (!event.isValue() || predicate(std::as_const(event.value()))) {
                down.sendEvent(std::move(event));
            }
        });
    });
}

template<class V, class E>
template<class F>
auto SignalProducer<V, E>::filterMap(F transform) const
{
    using Optional = std::decay_t<std::invoke_result_t<F&, V&&>>;
    static_assert(Detail::IsOptional<Optional>::value, "filterMap needs a function returning std::optional");
    using U = typename Optional::value_type;
    return lift<U, E>([transform = std::move(transform)](Observer<U, E> down) {
        return Observer<V, E>::makeTransform([down = std::move(down), transform](Event<V, E>&& event) mutable {
            if (!event.isValue()) {
                down.sendEvent(std::move(event).template terminalAs<U>());
            } else if (auto mapped = transform(std::move(event).value())) {
                down.send(std::move(*mapped));
            }
        });
    });
}

template<class V, class E>
auto SignalProducer<V, E>::skipNil() const
{
    static_assert(Detail::IsOptional<V>::value, "skipNil needs optional values");
    return filterMap([](V&& value) { return std::move(value); });
}

template<class V, class E>
auto SignalProducer<V, E>::skipRepeats() const
{
    return skipRepeats([](const V& previous, const V& next) { return previous == next; });
}

template<class V, class E>
template<class F>
auto SignalProducer<V, E>::skipRepeats(F equal) const
{
    return lift<V, E>([equal = std::move(equal)](Observer<V, E> down) {
        return Observer<V, E>::makeTransform(
            [down = std::move(down), equal, previous = std::optional<V>()](Event<V, E>&& event) mutable {
                if (event.isValue()) {
                    if (previous && equal(std::as_const(*previous), std::as_const(event.value()))) {
                        return;
                    }
                    previous = event.value();
                }
                down.sendEvent(std::move(event));
            });
    });
}

template<class V, class E>
auto SignalProducer<V, E>::take(std::size_t count) const
{
    if (count == 0) {
        return SignalProducer<V, E>::empty();
    }
    return lift<V, E>([count](Observer<V, E> down) {
        return Observer<V, E>::makeTransform([down = std::move(down), remaining = count](Event<V, E>&& event) mutable {
            if (remaining == 0) {
                return;
            }
            if (!event.isValue()) {
                remaining = 0;
                down.sendEvent(std::move(event));
                return;
            }
            --remaining;
            down.sendEvent(std::move(event));
            if (remaining == 0) {
                down.sendCompleted();
            }
        });
    });
}

template<class V, class E>
template<class F>
auto SignalProducer<V, E>::attemptMap(F transform) const
{
    using Outcome = std::decay_t<std::invoke_result_t<F&, V&&>>;
    using U = typename Outcome::value_type;
    static_assert(std::is_same_v<typename Outcome::error_type, E>, "attemptMap needs a Result with the producer's error type");
    return lift<U, E>([transform = std::move(transform)](Observer<U, E> down) {
        return Observer<V, E>::makeTransform(
            [down = std::move(down), transform, failed = false](Event<V, E>&& event) mutable {
                if (failed) {
                    return;
                }
                if (!event.isValue()) {
                    down.sendEvent(std::move(event).template terminalAs<U>());
                    return;
                }
                auto outcome = transform(std::move(event).value());
                if (outcome) {
                    down.send(std::move(*outcome));
                } else {
                    failed = true;
                    down.sendFailed(std::move(outcome.error()));
                }
            });
    });
}

template<class V, class E>
auto SignalProducer<V, E>::collect() const
{
    using U = std::vector<V>;
    return lift<U, E>([](Observer<U, E> down) {
        return Observer<V, E>::makeTransform([down = std::move(down), values = U()](Event<V, E>&& event) mutable {
            if (event.isValue()) {
                values.push_back(std::move(event).value());
                return;
            }
            if (event.isCompleted()) {
                down.send(std::move(values));
            }
            down.sendEvent(std::move(event).template terminalAs<U>());
        });
    });
}

template<class V, class E>
auto SignalProducer<V, E>::ignoreValues() const
{
    return map([](V&&) { return Unit(); });
}

template<class V, class E>
auto SignalProducer<V, E>::materialize() const
{
    using U = Event<V, E>;
    return lift<U, NoError>([](Observer<U, NoError> down) {
        return Observer<V, E>::makeTransform([down = std::move(down)](Event<V, E>&& event) mutable {
            const auto kind = event.kind();
            down.send(std::move(event));
            if (kind == Event<V, E>::Kind::interrupted) {
                down.sendInterrupted();
            } else if (kind != Event<V, E>::Kind::value) {
                down.sendCompleted();
            }
        });
    });
}

template<class V, class E>
auto SignalProducer<V, E>::dematerialize() const
{
    static_assert(Detail::IsEvent<V>::value, "dematerialize needs a producer of events");
    using U = std::decay_t<decltype(std::declval<V>().value())>;
    using F = std::decay_t<decltype(std::declval<V>().error())>;
    static_assert(std::is_same_v<E, NoError> || std::is_same_v<E, F>, "dematerialize needs a never-failing producer or the events' error type");
    return lift<U, F>([](Observer<U, F> down) {
        return Observer<V, E>::makeTransform([down = std::move(down)](Event<V, E>&& event) mutable {
            if (event.isValue()) {
                down.sendEvent(std::move(event).value());
            } else if constexpr (std::is_same_v<E, F>) {
                down.sendEvent(std::move(event).template terminalAs<U>());
            } else if (event.isCompleted()) {
                down.sendCompleted();
            } else if (event.isInterrupted()) {
                down.sendInterrupted();
            }
        });
    });
}

}
