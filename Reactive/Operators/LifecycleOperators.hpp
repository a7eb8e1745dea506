#pragma once
// Operators on when and where a producer starts, delivers and ends.
// Included by SignalProducer.hpp; not meant to be included on its own.

#include "Reactive/SignalProducer.hpp"

namespace Reactive {

template<class V, class E>
SignalProducer<V, E> SignalProducer<V, E>::on(ProducerHooks<V, E> hooks) const
{
    auto upstream = *this;
    return SignalProducer<V, E>([upstream, hooks = std::move(hooks)](Observer<V, E> observer, Lifetime lifetime) {
        if (hooks.disposed) {
            lifetime.observeEnded(hooks.disposed);
        }
        if (hooks.starting) {
            hooks.starting();
        }
        lifetime += upstream.start(Observer<V, E>::make([observer, hooks](Event<V, E>&& event) {
            if (hooks.event) hooks.event(event);
            switch (event.kind()) {
            case Event<V, E>::Kind::value:
                if (hooks.value) hooks.value(event.value());
                break;
            case Event<V, E>::Kind::failed:
                if (hooks.failed) hooks.failed(event.error());
                break;
            case Event<V, E>::Kind::completed:
                if (hooks.completed) hooks.completed();
                break;
            case Event<V, E>::Kind::interrupted:
                if (hooks.interrupted) hooks.interrupted();
                break;
            }
            if (event.isTerminating() && hooks.terminated) {
                hooks.terminated();
            }
            observer.sendEvent(std::move(event));
        }));
        if (hooks.started) {
            hooks.started();
        }
    });
}

template<class V, class E>
SignalProducer<V, E> SignalProducer<V, E>::startOn(SchedulerPtr scheduler) const
{
    auto upstream = *this;
    return SignalProducer<V, E>([upstream, scheduler](Observer<V, E> observer, Lifetime lifetime) {
        lifetime += scheduler->schedule([upstream, observer, lifetime] {
            if (!lifetime.hasEnded()) {
                lifetime += upstream.start(observer);
            }
        });
    });
}

template<class V, class E>
SignalProducer<V, E> SignalProducer<V, E>::observeOn(SchedulerPtr scheduler) const
{
    return lift<V, E>([scheduler](Observer<V, E> down) {
        return Observer<V, E>::makeTransform([down = std::move(down), scheduler](Event<V, E>&& event) {
            scheduler->schedule([down, event = std::move(event)]() mutable { down.sendEvent(std::move(event)); });
        });
    });
}

template<class V, class E>
SignalProducer<V, E> SignalProducer<V, E>::takeDuring(Lifetime ending) const
{
    auto upstream = *this;
    return SignalProducer<V, E>([upstream, ending](Observer<V, E> observer, Lifetime lifetime) {
        lifetime += ending.observeEnded([observer] { observer.sendCompleted(); });
        if (!lifetime.hasEnded()) {
            lifetime += upstream.start(observer);
        }
    });
}

}
