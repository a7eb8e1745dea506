#pragma once
// A cold stream: a recipe that runs anew, with its own events, at every start.

#include "Reactive/Detail/ProducerInstance.hpp"
#include "Reactive/Detail/SignalCore.hpp"
#include "Reactive/Disposables/AnyDisposable.hpp"
#include "Reactive/Disposables/CompositeDisposable.hpp"
#include "Reactive/Event.hpp"
#include "Reactive/Lifetime.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/Observer.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Reactive/Signal.hpp"

#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace Reactive {

template<class V, class E>
class SignalProducer;

// How `flatMap`/`flatten` run the inner producers.
enum class FlattenStrategy : int {
    latest, // Only the newest inner producer runs; starting one disposes the one before.
    concat, // Inner producers run one after another, in arrival order; later ones wait.
    merge,  // Inner producers run at the same time; their values interleave.
};

// Hooks for `on(...)`; each may be left empty.
template<class V, class E>
struct ProducerHooks {
    std::function<void()> starting = {};                 // Before the producer is started.
    std::function<void()> started = {};                  // Right after it was started.
    std::function<void(const Event<V, E>&)> event = {};  // Every event, before it is passed on.
    std::function<void(const V&)> value = {};
    std::function<void(const E&)> failed = {};
    std::function<void()> completed = {};
    std::function<void()> interrupted = {};
    std::function<void()> terminated = {};               // After failed, completed or interrupted.
    std::function<void()> disposed = {};                 // When the started producer ends, for any reason.
};

namespace Detail {

template<class T>
struct IsOptional : std::false_type {};
template<class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template<class T>
struct IsEvent : std::false_type {};
template<class V, class E>
struct IsEvent<Event<V, E>> : std::true_type {};

template<class T>
struct IsProducer : std::false_type {};
template<class V, class E>
struct IsProducer<SignalProducer<V, E>> : std::true_type {};

// What one start of a producer does. `start` runs the producer's work with
// `sink` as its downstream; `sink` is always called serially.
template<class V, class E>
class ProducerCore {
public:
    virtual ~ProducerCore() = default;
    // Returns what the start handle must keep alive (the started signal).
    virtual std::shared_ptr<void> start(Observer<V, E> sink, const std::shared_ptr<ProducerInstance>& instance) const = 0;
};

// Runs a start function with a fresh serialising signal and lifetime.
template<class V, class E, class Handler>
class GeneratorCore final : public ProducerCore<V, E> {
public:
    explicit GeneratorCore(Handler handler) : m_handler(std::move(handler)) {}

    std::shared_ptr<void> start(Observer<V, E> sink, const std::shared_ptr<ProducerInstance>& instance) const override
    {
        CompositeDisposable ended;
        auto core = std::make_shared<SignalCore<V, E>>([ended] { ended.dispose(); });
        core->addEntry(std::make_shared<typename SignalCore<V, E>::Entry>(std::move(sink)));
        std::weak_ptr<SignalCore<V, E>> weakCore = core;
        const bool attached = instance->attach(
            [weakCore] {
                if (auto strong = weakCore.lock()) {
                    strong->receive(Event<V, E>::makeInterrupted());
                }
            },
            [weakCore, ended] {
                if (auto strong = weakCore.lock()) {
                    strong->terminateSilently();
                }
                ended.dispose();
            });
        if (attached) {
            m_handler(Observer<V, E>(core), Lifetime::observing(ended));
        }
        return core;
    }

private:
    Handler m_handler;
};

// Applies a per-event transform between an upstream producer and its sink,
// inside the upstream's serialised delivery (no extra signal per step).
template<class V, class E, class U, class F, class Transform>
class TransformerCore final : public ProducerCore<V, E> {
public:
    TransformerCore(std::shared_ptr<const ProducerCore<U, F>> upstream, Transform transform)
        : m_upstream(std::move(upstream))
        , m_transform(std::move(transform))
    {
    }

    std::shared_ptr<void> start(Observer<V, E> sink, const std::shared_ptr<ProducerInstance>& instance) const override
    {
        return m_upstream->start(m_transform(std::move(sink)), instance);
    }

private:
    std::shared_ptr<const ProducerCore<U, F>> m_upstream;
    Transform m_transform;
};

}

// A cold stream of values of `V` that ends by completing, being interrupted
// or failing with one `E`. Nothing happens until it is started; each start
// runs the start function anew, with its own observer and lifetime.
//
// Contracts of every start:
// - Events reach the observer serialised (one at a time, in order) and with
//   no lock of this library held; at most one terminal event, nothing after.
// - Disposing the handle that `start` returns interrupts the started work:
//   the observer gets `interrupted` (unless a terminal event came first), no
//   later values, and the start's lifetime ends, disposing upstream work
//   exactly once.
// - A terminal event also ends the lifetime.
// - A started producer stays alive until it terminates or is disposed, even
//   when its handle is dropped (start and forget), as long as something can
//   still send into it. When nothing holds its observer any more, and its
//   handle is gone, it is interrupted.
// A producer value is cheap to copy and immutable; it may be started from
// any thread, any number of times, also concurrently.
template<class V, class E>
class SignalProducer {
public:
    using Value = V;
    using Error = E;

    // A producer whose every start calls `start(observer, lifetime)`. The
    // function sends into `observer` (from any thread) and registers its
    // clean-up on `lifetime`, which ends when the start terminates or is disposed.
    template<class Handler>
        requires std::invocable<const Handler&, Observer<V, E>, Lifetime>
    explicit SignalProducer(Handler start)
        : m_core(std::make_shared<Detail::GeneratorCore<V, E, Handler>>(std::move(start)))
    {
    }

    // A producer that forwards `signal`'s events from the moment it is started.
    explicit SignalProducer(Signal<V, E> signal)
        : SignalProducer([signal](Observer<V, E> observer, Lifetime lifetime) { lifetime += signal.observe(observer); })
    {
    }

    explicit SignalProducer(std::shared_ptr<const Detail::ProducerCore<V, E>> core) : m_core(std::move(core)) {}

    // One value, then completed.
    static SignalProducer value(V value)
    {
        return SignalProducer([value = std::move(value)](Observer<V, E> observer, Lifetime) {
            observer.send(value);
            observer.sendCompleted();
        });
    }
    // Fails at once.
    static SignalProducer error(E error)
    {
        return SignalProducer([error = std::move(error)](Observer<V, E> observer, Lifetime) { observer.sendFailed(error); });
    }
    // Completes at once.
    static SignalProducer empty()
    {
        return SignalProducer([](Observer<V, E> observer, Lifetime) { observer.sendCompleted(); });
    }
    // Never sends anything; ends only when disposed.
    static SignalProducer never()
    {
        // Holds its observer until disposed: a signal nobody can send into any more is interrupted.
        return SignalProducer([](Observer<V, E> observer, Lifetime lifetime) { lifetime.observeEnded([observer] {}); });
    }
    // The values in order, then completed.
    static SignalProducer fromValues(std::vector<V> values)
    {
        return SignalProducer([values = std::move(values)](Observer<V, E> observer, Lifetime lifetime) {
            for (const auto& value : values) {
                if (lifetime.hasEnded()) {
                    return;
                }
                observer.send(value);
            }
            observer.sendCompleted();
        });
    }
    // A value and completed, or a failure.
    static SignalProducer fromResult(Result<V, E> result)
    {
        if (result) {
            return value(std::move(*result));
        }
        return error(std::move(result.error()));
    }

    // Starting. Each returns the handle that interrupts the start.
    AnyDisposable start(Observer<V, E> observer = Observer<V, E>()) const;
    template<class F> AnyDisposable startWithEvents(F action) const;
    template<class F> AnyDisposable startWithValues(F action) const;
    template<class F> AnyDisposable startWithFailed(F action) const;
    template<class F> AnyDisposable startWithCompleted(F action) const;
    template<class F> AnyDisposable startWithInterrupted(F action) const;
    template<class F> AnyDisposable startWithResult(F action) const;

    // A per-event transform: `transform(downstream)` is called once per start
    // and returns the observer of this producer's events for that start. The
    // returned observer is called serially.
    template<class U, class F, class Transform>
    SignalProducer<U, F> lift(Transform transform) const;

    // Values.
    template<class F> auto map(F transform) const;
    template<class F> auto filter(F predicate) const;
    template<class F> auto filterMap(F transform) const;   // `transform` returns std::optional; nothings are dropped.
    auto skipNil() const;                                  // For optional values: drops nothings, unwraps the rest.
    auto skipRepeats() const;                              // Drops a value equal (==) to the one before.
    template<class F> auto skipRepeats(F equal) const;     // The same with `equal(previous, next)`.
    auto take(std::size_t count) const;                    // The first `count` values, then completed.
    template<class F> auto attemptMap(F transform) const;  // `transform` returns Result<U, E>; an error fails the stream.
    auto collect() const;                                  // One vector of all values, sent on completion.
    auto ignoreValues() const;                             // One `Unit` for each value; terminal events as they are.
    auto materialize() const;                              // Every event as a value of a never-failing producer.
    auto dematerialize() const;                            // The inverse, for producers of events.

    // Errors.
    template<class F> auto mapError(F transform) const;
    template<class G> SignalProducer<V, G> promoteError() const; // From NoError, or from an error convertible to G.
    SignalProducer<V, NoError> ignoreError() const;        // A failure completes instead, without a value.
    template<class F> auto flatMapError(F handler) const;  // On failure, continues with `handler(error)`.
    SignalProducer retry(std::size_t count) const;         // On failure, starts again, up to `count` more times.

    // Lifecycle and threads.
    SignalProducer on(ProducerHooks<V, E> hooks) const;
    SignalProducer startOn(SchedulerPtr scheduler) const;  // The start function runs on `scheduler`.
    SignalProducer observeOn(SchedulerPtr scheduler) const; // Every event is delivered on `scheduler`.
    SignalProducer takeDuring(Lifetime lifetime) const;    // Completes when `lifetime` ends.
    template<class U, class F> SignalProducer takeUntil(SignalProducer<U, F> trigger) const; // Completes when `trigger` sends a value or completes.

    // Composition.
    SignalProducer concat(SignalProducer next) const;      // This producer's values, then `next`'s.
    SignalProducer prefix(V value) const;                  // `value` first, then this producer's values.
    template<class U> SignalProducer<U, E> then(SignalProducer<U, E> next) const; // On completion continues with `next`; values dropped.
    template<class F> auto flatMap(FlattenStrategy strategy, F transform) const;  // `transform(value)` returns a producer.
    auto flatten(FlattenStrategy strategy) const;          // For producers of producers.
    template<class U> SignalProducer<std::pair<V, U>, E> combineLatestWith(SignalProducer<U, E> other) const;

    // Time; all on a `DateScheduler`, so `TestScheduler` runs them in virtual time.
    SignalProducer delay(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const;
    SignalProducer throttle(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const;
    SignalProducer debounce(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const;

    const std::shared_ptr<const Detail::ProducerCore<V, E>>& core() const { return m_core; }

private:
    std::shared_ptr<const Detail::ProducerCore<V, E>> m_core;
};

template<class V, class E>
AnyDisposable SignalProducer<V, E>::start(Observer<V, E> observer) const
{
    auto instance = std::make_shared<Detail::ProducerInstance>();
    // The last step before the caller: after a disposal it lets only the
    // terminal event through, and a terminal event ends the start.
    auto gate = Observer<V, E>::makeTransform(
        [observer = std::move(observer), instance, done = false](Event<V, E>&& event) mutable {
            if (done || (event.isValue() && instance->isDisposed())) {
                return;
            }
            done = event.isTerminating();
            observer.sendEvent(std::move(event));
            if (done) {
                instance->end();
            }
        });
    auto keepAlive = m_core->start(std::move(gate), instance);
    return AnyDisposable(std::make_shared<Detail::StartHandle>(std::move(instance), std::move(keepAlive)));
}

template<class V, class E>
template<class F>
AnyDisposable SignalProducer<V, E>::startWithEvents(F action) const
{
    return start(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable { action(event); }));
}

template<class V, class E>
template<class F>
AnyDisposable SignalProducer<V, E>::startWithValues(F action) const
{
    return start(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable {
        if (event.isValue()) action(event.value());
    }));
}

template<class V, class E>
template<class F>
AnyDisposable SignalProducer<V, E>::startWithFailed(F action) const
{
    return start(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable {
        if (event.isFailed()) action(event.error());
    }));
}

template<class V, class E>
template<class F>
AnyDisposable SignalProducer<V, E>::startWithCompleted(F action) const
{
    return start(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable {
        if (event.isCompleted()) action();
    }));
}

template<class V, class E>
template<class F>
AnyDisposable SignalProducer<V, E>::startWithInterrupted(F action) const
{
    return start(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable {
        if (event.isInterrupted()) action();
    }));
}

template<class V, class E>
template<class F>
AnyDisposable SignalProducer<V, E>::startWithResult(F action) const
{
    return start(Observer<V, E>::make([action = std::move(action)](Event<V, E>&& event) mutable {
        if (event.isValue()) action(Result<V, E>(std::move(event).value()));
        else if (event.isFailed()) action(Result<V, E>(std::unexpect, std::move(event).error()));
    }));
}

template<class V, class E>
template<class U, class F, class Transform>
SignalProducer<U, F> SignalProducer<V, E>::lift(Transform transform) const
{
    using Core = Detail::TransformerCore<U, F, V, E, Transform>;
    return SignalProducer<U, F>(std::shared_ptr<const Detail::ProducerCore<U, F>>(std::make_shared<Core>(m_core, std::move(transform))));
}

}

#include "Reactive/Operators/ValueOperators.hpp"
#include "Reactive/Operators/ErrorOperators.hpp"
#include "Reactive/Operators/LifecycleOperators.hpp"
#include "Reactive/Operators/SequenceOperators.hpp"
#include "Reactive/Operators/FlattenOperators.hpp"
#include "Reactive/Operators/CombineOperators.hpp"
#include "Reactive/Operators/TimeOperators.hpp"
#include "Reactive/Operators/SignalOperators.hpp"
