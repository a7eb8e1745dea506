#pragma once
// Operators that run producers one after another: concat, prefix, then,
// takeUntil, flatMapError, retry.
// Included by SignalProducer.hpp; not meant to be included on its own.

#include "Reactive/SignalProducer.hpp"

#include <functional>
#include <memory>

namespace Reactive {

namespace Detail {

// Starts `producer` and forwards its events to `observer`, except that its
// completion calls `onCompleted` instead.
template<class U, class F, class G, class OnCompleted>
AnyDisposable forwardUntilCompleted(const SignalProducer<U, G>& producer, Observer<U, F> observer, OnCompleted onCompleted)
{
    return producer.template promoteError<F>().start(Observer<U, F>::make(
        [observer = std::move(observer), onCompleted = std::move(onCompleted)](Event<U, F>&& event) mutable {
            if (event.isCompleted()) {
                onCompleted();
            } else {
                observer.sendEvent(std::move(event));
            }
        }));
}

}

template<class V, class E>
SignalProducer<V, E> SignalProducer<V, E>::concat(SignalProducer next) const
{
    auto first = *this;
    return SignalProducer<V, E>([first, next](Observer<V, E> observer, Lifetime lifetime) {
        // Both starts go into the lifetime: the second may begin before the
        // first start has even returned.
        lifetime += Detail::forwardUntilCompleted(first, observer, [next, observer, lifetime] {
            if (!lifetime.hasEnded()) {
                lifetime += next.start(observer);
            }
        });
    });
}

template<class V, class E>
SignalProducer<V, E> SignalProducer<V, E>::prefix(V value) const
{
    return SignalProducer<V, E>::value(std::move(value)).concat(*this);
}

template<class V, class E>
template<class U>
SignalProducer<U, E> SignalProducer<V, E>::then(SignalProducer<U, E> next) const
{
    auto first = *this;
    return SignalProducer<U, E>([first, next](Observer<U, E> observer, Lifetime lifetime) {
        lifetime += first.start(Observer<V, E>::make([next, observer, lifetime](Event<V, E>&& event) {
            switch (event.kind()) {
            case Event<V, E>::Kind::value: break;
            case Event<V, E>::Kind::completed:
                if (!lifetime.hasEnded()) {
                    lifetime += next.start(observer);
                }
                break;
            default: observer.sendEvent(std::move(event).template terminalAs<U>()); break;
            }
        }));
    });
}

template<class V, class E>
template<class U, class F>
SignalProducer<V, E> SignalProducer<V, E>::takeUntil(SignalProducer<U, F> trigger) const
{
    auto source = *this;
    return SignalProducer<V, E>([source, trigger](Observer<V, E> observer, Lifetime lifetime) {
        lifetime += trigger.start(Observer<U, F>::make([observer](Event<U, F>&& event) {
            if (event.isValue() || event.isCompleted()) {
                observer.sendCompleted();
            }
        }));
        if (!lifetime.hasEnded()) {
            lifetime += source.start(observer);
        }
    });
}

template<class V, class E>
template<class F>
auto SignalProducer<V, E>::flatMapError(F handler) const
{
    using Replacement = std::decay_t<std::invoke_result_t<F&, E&&>>;
    static_assert(Detail::IsProducer<Replacement>::value, "flatMapError needs a function returning a producer");
    static_assert(std::is_same_v<typename Replacement::Value, V>, "the replacement producer must send the same values");
    using G = typename Replacement::Error;
    auto source = *this;
    return SignalProducer<V, G>([source, handler](Observer<V, G> observer, Lifetime lifetime) {
        lifetime += source.start(Observer<V, E>::make([handler, observer, lifetime](Event<V, E>&& event) {
            if (event.isFailed()) {
                if (!lifetime.hasEnded()) {
                    lifetime += handler(std::move(event).error()).start(observer);
                }
                return;
            }
            observer.sendEvent(std::move(event).mapError([](E&&) -> G { std::unreachable(); }));
        }));
    });
}

template<class V, class E>
SignalProducer<V, E> SignalProducer<V, E>::retry(std::size_t count) const
{
    auto source = *this;
    return SignalProducer<V, E>([source, count](Observer<V, E> observer, Lifetime lifetime) {
        // Each failure with retries left starts the source again. Every
        // attempt's handle goes into the lifetime (at most count + 1).
        auto attempt = std::make_shared<std::function<void(std::size_t)>>();
        std::weak_ptr<std::function<void(std::size_t)>> weakAttempt = attempt;
        *attempt = [source, observer, lifetime, weakAttempt](std::size_t remaining) {
            lifetime += source.start(Observer<V, E>::make([observer, lifetime, weakAttempt, remaining](Event<V, E>&& event) {
                if (event.isFailed() && remaining > 0 && !lifetime.hasEnded()) {
                    if (auto again = weakAttempt.lock()) {
                        (*again)(remaining - 1);
                        return;
                    }
                }
                observer.sendEvent(std::move(event));
            }));
        };
        lifetime.observeEnded([attempt] {}); // Keeps the retry function as long as the start.
        (*attempt)(count);
    });
}

}
