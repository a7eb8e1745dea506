#pragma once
// Operators that combine the latest values of several producers.
// Included by SignalProducer.hpp; not meant to be included on its own.

#include "Reactive/SignalProducer.hpp"

#include <mutex>
#include <optional>
#include <tuple>

namespace Reactive {

template<class V, class E>
template<class U>
SignalProducer<std::pair<V, U>, E> SignalProducer<V, E>::combineLatestWith(SignalProducer<U, E> other) const
{
    using Pair = std::pair<V, U>;
    auto first = *this;
    return SignalProducer<Pair, E>([first, other](Observer<Pair, E> observer, Lifetime lifetime) {
        struct State {
            std::mutex mutex;
            std::optional<V> left;
            std::optional<U> right;
            int completed = 0;
        };
        auto state = std::make_shared<State>();
        auto onTerminal = [state, observer](auto&& event) {
            if (event.isCompleted()) {
                std::lock_guard lock(state->mutex);
                if (++state->completed < 2) {
                    return;
                }
            }
            observer.sendEvent(std::move(event).template terminalAs<Pair>());
        };
        // The receiver starts before its argument.
        lifetime += first.start(Observer<V, E>::make([state, observer, onTerminal](Event<V, E>&& event) {
            if (!event.isValue()) {
                onTerminal(std::move(event));
                return;
            }
            std::optional<Pair> combined;
            {
                std::lock_guard lock(state->mutex);
                state->left = std::move(event).value();
                if (state->right) {
                    combined.emplace(*state->left, *state->right);
                }
            }
            if (combined) {
                observer.send(std::move(*combined));
            }
        }));
        if (lifetime.hasEnded()) {
            return;
        }
        lifetime += other.start(Observer<U, E>::make([state, observer, onTerminal](Event<U, E>&& event) {
            if (!event.isValue()) {
                onTerminal(std::move(event));
                return;
            }
            std::optional<Pair> combined;
            {
                std::lock_guard lock(state->mutex);
                state->right = std::move(event).value();
                if (state->left) {
                    combined.emplace(*state->left, *state->right);
                }
            }
            if (combined) {
                observer.send(std::move(*combined));
            }
        }));
    });
}

// The latest values of every input as a tuple, once each has sent one;
// fails or is interrupted with the first input that does; completes when all have completed.
template<class A, class B, class E>
SignalProducer<std::tuple<A, B>, E> combineLatest(const SignalProducer<A, E>& first, const SignalProducer<B, E>& second)
{
    return first.combineLatestWith(second).map([](std::pair<A, B>&& pair) { return std::tuple<A, B>(std::move(pair.first), std::move(pair.second)); });
}

template<class A, class B, class C, class E>
SignalProducer<std::tuple<A, B, C>, E> combineLatest(const SignalProducer<A, E>& first, const SignalProducer<B, E>& second,
    const SignalProducer<C, E>& third)
{
    return first.combineLatestWith(second).combineLatestWith(third).map([](std::pair<std::pair<A, B>, C>&& all) {
        return std::tuple<A, B, C>(std::move(all.first.first), std::move(all.first.second), std::move(all.second));
    });
}

}
