#pragma once
// Signal operators, each made from the producer operator of the same name.
// Included by SignalProducer.hpp; not meant to be included on its own.

#include "Reactive/SignalProducer.hpp"

namespace Reactive {

template<class V, class E>
template<class Transform>
auto Signal<V, E>::apply(Transform&& transform) const
{
    auto producer = std::forward<Transform>(transform)(SignalProducer<V, E>(*this));
    using U = typename decltype(producer)::Value;
    using F = typename decltype(producer)::Error;
    // The derived signal lives while it is held or observed; the work feeding
    // it reaches it only weakly and is disposed when it goes away.
    auto core = std::make_shared<Detail::SignalCore<U, F>>();
    std::weak_ptr<Detail::SignalCore<U, F>> weakCore = core;
    auto feeding = producer.start(Observer<U, F>::make([weakCore](Event<U, F>&& event) {
        if (auto strong = weakCore.lock()) {
            strong->receive(std::move(event));
        }
    }));
    core->retainWhileObserved();
    core->setOnTerminated([feeding] { feeding.dispose(); });
    return Signal<U, F>(core);
}

template<class V, class E>
template<class F>
auto Signal<V, E>::map(F transform) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.map(std::move(transform)); });
}

template<class V, class E>
template<class F>
auto Signal<V, E>::filter(F predicate) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.filter(std::move(predicate)); });
}

template<class V, class E>
template<class F>
auto Signal<V, E>::filterMap(F transform) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.filterMap(std::move(transform)); });
}

template<class V, class E>
auto Signal<V, E>::skipNil() const
{
    return apply([](const SignalProducer<V, E>& producer) { return producer.skipNil(); });
}

template<class V, class E>
auto Signal<V, E>::skipRepeats() const
{
    return apply([](const SignalProducer<V, E>& producer) { return producer.skipRepeats(); });
}

template<class V, class E>
template<class F>
auto Signal<V, E>::skipRepeats(F equal) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.skipRepeats(std::move(equal)); });
}

template<class V, class E>
auto Signal<V, E>::take(std::size_t count) const
{
    return apply([count](const SignalProducer<V, E>& producer) { return producer.take(count); });
}

template<class V, class E>
auto Signal<V, E>::takeDuring(Lifetime lifetime) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.takeDuring(std::move(lifetime)); });
}

template<class V, class E>
template<class U, class F>
auto Signal<V, E>::takeUntil(SignalProducer<U, F> trigger) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.takeUntil(std::move(trigger)); });
}

template<class V, class E>
auto Signal<V, E>::observeOn(SchedulerPtr scheduler) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.observeOn(std::move(scheduler)); });
}

template<class V, class E>
template<class F>
auto Signal<V, E>::mapError(F transform) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.mapError(std::move(transform)); });
}

template<class V, class E>
template<class G>
auto Signal<V, E>::promoteError() const
{
    return apply([](const SignalProducer<V, E>& producer) { return producer.template promoteError<G>(); });
}

template<class V, class E>
auto Signal<V, E>::ignoreError() const
{
    return apply([](const SignalProducer<V, E>& producer) { return producer.ignoreError(); });
}

template<class V, class E>
auto Signal<V, E>::ignoreValues() const
{
    return apply([](const SignalProducer<V, E>& producer) { return producer.ignoreValues(); });
}

template<class V, class E>
auto Signal<V, E>::materialize() const
{
    return apply([](const SignalProducer<V, E>& producer) { return producer.materialize(); });
}

template<class V, class E>
auto Signal<V, E>::collect() const
{
    return apply([](const SignalProducer<V, E>& producer) { return producer.collect(); });
}

template<class V, class E>
auto Signal<V, E>::throttle(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.throttle(interval, std::move(scheduler)); });
}

template<class V, class E>
auto Signal<V, E>::debounce(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.debounce(interval, std::move(scheduler)); });
}

template<class V, class E>
auto Signal<V, E>::delay(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.delay(interval, std::move(scheduler)); });
}

template<class V, class E>
template<class F>
auto Signal<V, E>::attemptMap(F transform) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.attemptMap(std::move(transform)); });
}

template<class V, class E>
template<class F>
auto Signal<V, E>::flatMap(FlattenStrategy strategy, F transform) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.flatMap(strategy, std::move(transform)); });
}

template<class V, class E>
template<class U>
auto Signal<V, E>::combineLatestWith(Signal<U, E> other) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.combineLatestWith(SignalProducer<U, E>(other)); });
}

template<class V, class E>
auto Signal<V, E>::on(ProducerHooks<V, E> hooks) const
{
    return apply([&](const SignalProducer<V, E>& producer) { return producer.on(std::move(hooks)); });
}

// Every event of every signal, as it comes; completes when all have completed.
template<class V, class E>
Signal<V, E> merge(const std::vector<Signal<V, E>>& signals)
{
    std::vector<SignalProducer<V, E>> producers;
    producers.reserve(signals.size());
    for (const auto& signal : signals) {
        producers.emplace_back(signal);
    }
    auto [merged, input] = Signal<V, E>::pipe();
    merge(std::move(producers)).start(input);
    return merged;
}

}
