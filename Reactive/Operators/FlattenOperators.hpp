#pragma once
// Operators that run the producers a producer sends: flatten, flatMap, merge.
// Included by SignalProducer.hpp; not meant to be included on its own.

#include "Reactive/Disposables/SerialDisposable.hpp"
#include "Reactive/SignalProducer.hpp"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace Reactive {

namespace Detail {

// The error type of a flattened producer of producers: the inner error when
// the outer producer cannot fail, otherwise the outer one (inner producers
// must then fail with it or not at all).
template<class Outer, class Inner>
using FlattenedError = std::conditional_t<std::is_same_v<Outer, NoError>, Inner, Outer>;

// Each strategy is its own producer of the inner values; `outer` sends the
// inner producers and may fail with `F` or not at all.

// Latest: a new inner producer interrupts the one before it; the result
// completes once the outer producer and the inner one running then have.
template<class U, class F, class V, class E>
SignalProducer<U, F> flattenLatest(SignalProducer<V, E> outer)
{
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
}

// Concat: inner producers run one after another in the order they came; the
// result completes once the outer producer has and no inner one is left.
template<class U, class F, class V, class E>
SignalProducer<U, F> flattenConcat(SignalProducer<V, E> outer)
{
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
}

// Starts `producer` into `observer` and keeps it in `inners` until it has
// completed; removes it from the set also when it completes before its start
// has returned. `onCompleted` runs once it is out.
template<class U, class G, class F, class OnCompleted>
void startInside(const CompositeDisposable& inners, const SignalProducer<U, G>& producer, Observer<U, F> observer,
    OnCompleted onCompleted)
{
    struct Slot {
        std::mutex mutex;
        bool finished = false;
        AnyDisposable removal;
    };
    auto slot = std::make_shared<Slot>();
    auto handle = Detail::forwardUntilCompleted(producer, observer, [onCompleted, slot] {
        AnyDisposable removal;
        {
            std::lock_guard lock(slot->mutex);
            slot->finished = true;
            removal = std::move(slot->removal);
        }
        removal.dispose();
        onCompleted();
    });
    auto removal = inners.add(handle);
    {
        std::lock_guard lock(slot->mutex);
        if (!slot->finished) {
            slot->removal = std::move(removal);
        }
    }
    removal.dispose();
}

// Merge: every inner producer runs as soon as it comes; the result completes
// once the outer producer and every inner one have.
template<class U, class F, class V, class E>
SignalProducer<U, F> flattenMerge(SignalProducer<V, E> outer)
{
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
                startInside(inners, std::move(event).value(), observer, [observer, finishOne] {
                    if (finishOne(false)) {
                        observer.sendCompleted();
                    }
                });
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

    switch (strategy) {
    case FlattenStrategy::latest:
        return Detail::flattenLatest<U, F>(*this);
    case FlattenStrategy::concat:
        return Detail::flattenConcat<U, F>(*this);
    case FlattenStrategy::merge:
        break;
    }
    return Detail::flattenMerge<U, F>(*this);
}

template<class V, class E>
template<class F>
auto SignalProducer<V, E>::flatMap(FlattenStrategy strategy, F transform) const
{
    return map(std::move(transform)).flatten(strategy);
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
