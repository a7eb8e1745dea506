#pragma once
// Operators that run producers one after another or side by side.
// Included by SignalProducer.hpp; not meant to be included on its own.

#include "Reactive/Disposables/SerialDisposable.hpp"
#include "Reactive/SignalProducer.hpp"

#include <deque>
#include <mutex>
#include <tuple>

namespace Reactive {

namespace Detail {

// The error type of a flattened producer of producers: the inner error when
// the outer producer cannot fail, otherwise the outer one (inner producers
// must then fail with it or not at all).
template<class Outer, class Inner>
using FlattenedError = std::conditional_t<std::is_same_v<Outer, NoError>, Inner, Outer>;

template<class F, class P>
auto promoted(const P& producer)
{
    return producer.template promoteError<F>();
}

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

template<class V, class E>
auto SignalProducer<V, E>::flatten(FlattenStrategy strategy) const
{
    static_assert(Detail::IsProducer<V>::value, "flatten needs a producer of producers");
    using U = typename V::Value;
    using InnerError = typename V::Error;
    using F = Detail::FlattenedError<E, InnerError>;
    static_assert(std::is_same_v<InnerError, F> || std::is_same_v<InnerError, NoError>,
        "inner producers must fail with the outer error or never");
    auto outer = *this;

    switch (strategy) {
    case FlattenStrategy::latest:
        return SignalProducer<U, F>([outer](Observer<U, F> observer, Lifetime lifetime) {
            struct State {
                std::mutex mutex;
                std::uint64_t generation = 0;
                bool innerActive = false;
                bool outerCompleted = false;
            };
            auto state = std::make_shared<State>();
            SerialDisposable inner;
            lifetime += inner;
            lifetime += outer.template promoteError<F>().start(Observer<V, F>::make([state, inner, observer](Event<V, F>&& event) {
                if (!event.isValue()) {
                    if (event.isCompleted()) {
                        std::unique_lock lock(state->mutex);
                        state->outerCompleted = true;
                        if (state->innerActive) {
                            return;
                        }
                    }
                    observer.sendEvent(std::move(event).template terminalAs<U>());
                    return;
                }
                std::uint64_t generation;
                {
                    std::lock_guard lock(state->mutex);
                    generation = ++state->generation;
                    state->innerActive = true;
                }
                // The previous inner producer goes first; its interruption carries an old generation and is dropped.
                inner.setInner({});
                inner.setInner(std::move(event).value().template promoteError<F>().start(
                    Observer<U, F>::make([state, observer, generation](Event<U, F>&& innerEvent) {
                        {
                            std::lock_guard lock(state->mutex);
                            if (generation != state->generation) {
                                return;
                            }
                            if (innerEvent.isCompleted()) {
                                state->innerActive = false;
                                if (!state->outerCompleted) {
                                    return;
                                }
                            }
                        }
                        observer.sendEvent(std::move(innerEvent));
                    })));
            }));
        });

    case FlattenStrategy::concat:
        return SignalProducer<U, F>([outer](Observer<U, F> observer, Lifetime lifetime) {
            struct State {
                std::mutex mutex;
                std::deque<V> pending;
                bool innerActive = false;
                bool outerCompleted = false;
                bool driving = false; // A thread is in `drive`, starting inner producers one by one.
                SerialDisposable current;
            };
            auto state = std::make_shared<State>();
            lifetime += state->current;
            // Starts queued producers while none is active. A loop rather than
            // recursion, so producers completing during their start do not nest.
            auto drive = std::make_shared<std::function<void()>>();
            std::weak_ptr<std::function<void()>> weakDrive = drive;
            *drive = [state, observer, lifetime, weakDrive] {
                std::unique_lock lock(state->mutex);
                if (state->driving) {
                    return;
                }
                state->driving = true;
                while (!state->innerActive && !lifetime.hasEnded()) {
                    if (state->pending.empty()) {
                        const bool finished = state->outerCompleted;
                        state->driving = false;
                        lock.unlock();
                        if (finished) {
                            observer.sendCompleted();
                        }
                        return;
                    }
                    auto next = std::move(state->pending.front());
                    state->pending.pop_front();
                    state->innerActive = true;
                    lock.unlock();
                    state->current.setInner(Detail::forwardUntilCompleted(next, observer, [state, weakDrive] {
                        {
                            std::lock_guard innerLock(state->mutex);
                            state->innerActive = false;
                        }
                        if (auto again = weakDrive.lock()) {
                            (*again)();
                        }
                    }));
                    lock.lock();
                }
                state->driving = false;
            };
            lifetime.observeEnded([drive] {}); // Keeps the driver as long as the start.
            lifetime += outer.template promoteError<F>().start(Observer<V, F>::make([state, drive, observer](Event<V, F>&& event) {
                if (event.isValue()) {
                    {
                        std::lock_guard lock(state->mutex);
                        state->pending.push_back(std::move(event).value());
                    }
                    (*drive)();
                } else if (event.isCompleted()) {
                    {
                        std::lock_guard lock(state->mutex);
                        state->outerCompleted = true;
                    }
                    (*drive)();
                } else {
                    observer.sendEvent(std::move(event).template terminalAs<U>());
                }
            }));
        });

    case FlattenStrategy::merge:
        break;
    }
    return SignalProducer<U, F>([outer](Observer<U, F> observer, Lifetime lifetime) {
        struct State {
            std::mutex mutex;
            std::size_t active = 0;
            bool outerCompleted = false;
        };
        auto state = std::make_shared<State>();
        CompositeDisposable inners;
        lifetime += inners;
        auto finishOne = [state, observer](bool outer) {
            std::lock_guard lock(state->mutex);
            if (outer) {
                state->outerCompleted = true;
            } else {
                --state->active;
            }
            return state->outerCompleted && state->active == 0;
        };
        lifetime += outer.template promoteError<F>().start(Observer<V, F>::make([state, inners, observer, finishOne](Event<V, F>&& event) {
            if (event.isValue()) {
                {
                    std::lock_guard lock(state->mutex);
                    ++state->active;
                }
                // Removes a finished inner producer from the set, also when it
                // finishes before its start has returned.
                struct Slot {
                    std::mutex mutex;
                    bool finished = false;
                    AnyDisposable removal;
                };
                auto slot = std::make_shared<Slot>();
                auto handle = Detail::forwardUntilCompleted(std::move(event).value(), observer, [observer, finishOne, slot] {
                    AnyDisposable removal;
                    {
                        std::lock_guard lock(slot->mutex);
                        slot->finished = true;
                        removal = std::move(slot->removal);
                    }
                    removal.dispose();
                    if (finishOne(false)) {
                        observer.sendCompleted();
                    }
                });
                auto removal = inners.add(handle);
                {
                    std::lock_guard lock(slot->mutex);
                    if (!slot->finished) {
                        slot->removal = std::move(removal);
                    }
                }
                removal.dispose();
            } else if (event.isCompleted()) {
                if (finishOne(true)) {
                    observer.sendCompleted();
                }
            } else {
                observer.sendEvent(std::move(event).template terminalAs<U>());
            }
        }));
    });
}

template<class V, class E>
template<class F>
auto SignalProducer<V, E>::flatMap(FlattenStrategy strategy, F transform) const
{
    return map(std::move(transform)).flatten(strategy);
}

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

// All values of all producers as they come; completes when all have completed.
template<class V, class E>
SignalProducer<V, E> merge(std::vector<SignalProducer<V, E>> producers)
{
    return SignalProducer<SignalProducer<V, E>, NoError>::fromValues(std::move(producers)).flatten(FlattenStrategy::merge);
}

template<class V, class E, class... Rest>
SignalProducer<V, E> merge(const SignalProducer<V, E>& first, const Rest&... rest)
{
    return merge(std::vector<SignalProducer<V, E>> { first, rest... });
}

}
