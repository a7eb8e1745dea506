#pragma once
// A hot stream of events: whoever observes it sees what is sent from then on.

#include "Reactive/Detail/SignalCore.hpp"
#include "Reactive/Disposables/AnyDisposable.hpp"
#include "Reactive/Event.hpp"
#include "Reactive/Lifetime.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/Observer.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <chrono>
#include <memory>
#include <optional>
#include <utility>

namespace Reactive {

template<class V, class E>
class SignalProducer;
template<class V, class E>
struct ProducerHooks;
enum class FlattenStrategy : int;

// A signal delivers every event sent into its input observer to the observers
// present at that moment, one event at a time (see `Observer` for the
// threading contract), and ends with at most one terminal event. Observers
// run with no lock held; observing a signal that has ended sends
// `interrupted` at once. A signal handle is cheap to copy; copies are the
// same signal. A derived signal (`map`, …) lives while it is held or has
// observers; once neither is true it stops observing its source.
template<class V, class E>
class Signal {
public:
    using Value = V;
    using Error = E;

    // A new signal and its input. `disposable` is disposed when the signal terminates.
    static std::pair<Signal, Observer<V, E>> pipe(AnyDisposable disposable = {})
    {
        auto core = std::make_shared<Detail::SignalCore<V, E>>(
            disposable.isEmpty() ? std::function<void()>() : std::function<void()>([disposable] { disposable.dispose(); }));
        return { Signal(core), Observer<V, E>(core) };
    }

    // Observation ends when the returned handle is disposed or the signal terminates.
    AnyDisposable observe(Observer<V, E> observer) const { return m_core->observe(std::move(observer)); }

    template<class F>
    AnyDisposable observeEvents(F action) const
    {
        return observe(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable { action(event); }));
    }
    template<class F>
    AnyDisposable observeValues(F action) const
    {
        return observe(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable {
            if (event.isValue()) action(event.value());
        }));
    }
    template<class F>
    AnyDisposable observeFailed(F action) const
    {
        return observe(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable {
            if (event.isFailed()) action(event.error());
        }));
    }
    template<class F>
    AnyDisposable observeCompleted(F action) const
    {
        return observe(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable {
            if (event.isCompleted()) action();
        }));
    }
    template<class F>
    AnyDisposable observeInterrupted(F action) const
    {
        return observe(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable {
            if (event.isInterrupted()) action();
        }));
    }
    // Values as `Result` successes, a failure as a `Result` error.
    template<class F>
    AnyDisposable observeResult(F action) const
    {
        return observe(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable {
            if (event.isValue()) action(Result<V, E>(std::move(event).value()));
            else if (event.isFailed()) action(Result<V, E>(std::unexpect, std::move(event).error()));
        }));
    }

    // A derived signal: the result of running `transform` (a function from
    // `SignalProducer<V, E>` to another producer) over this signal. Every
    // producer operator thus also works on signals.
    template<class Transform>
    auto apply(Transform&& transform) const;

    // Operators; each has the contract of the producer operator of the same name.
    template<class F> auto map(F transform) const;
    template<class F> auto filter(F predicate) const;
    template<class F> auto filterMap(F transform) const;
    auto skipNil() const;
    auto skipRepeats() const;
    template<class F> auto skipRepeats(F equal) const;
    auto take(std::size_t count) const;
    auto takeDuring(Lifetime lifetime) const;
    template<class U, class F> auto takeUntil(SignalProducer<U, F> trigger) const;
    auto observeOn(SchedulerPtr scheduler) const;
    template<class F> auto mapError(F transform) const;
    template<class G> auto promoteError() const;
    auto ignoreError() const;
    auto ignoreValues() const;
    auto materialize() const;
    auto collect() const;
    template<class F> auto attemptMap(F transform) const;
    template<class F> auto flatMap(FlattenStrategy strategy, F transform) const;
    template<class U> auto combineLatestWith(Signal<U, E> other) const;
    auto on(ProducerHooks<V, E> hooks) const;
    auto throttle(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const;
    auto debounce(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const;
    auto delay(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const;

    bool operator==(const Signal& other) const { return m_core == other.m_core; }

    const std::shared_ptr<Detail::SignalCore<V, E>>& core() const { return m_core; }
    explicit Signal(std::shared_ptr<Detail::SignalCore<V, E>> core) : m_core(std::move(core)) {}

private:
    std::shared_ptr<Detail::SignalCore<V, E>> m_core;
};

}

#include "Reactive/SignalProducer.hpp"
