#pragma once
// Operators that act on time, all driven by a `DateScheduler`.
// Included by SignalProducer.hpp; not meant to be included on its own.

#include "Reactive/Disposables/SerialDisposable.hpp"
#include "Reactive/SignalProducer.hpp"

#include <mutex>

namespace Reactive {

// Sends the scheduler's date every `interval`, starting one interval after
// the start, on `scheduler`, until disposed. Never completes.
// Precondition: `interval` is positive.
inline SignalProducer<DateScheduler::TimePoint, NoError> timer(DateScheduler::Duration interval, DateSchedulerPtr scheduler)
{
    using TimePoint = DateScheduler::TimePoint;
    return SignalProducer<TimePoint, NoError>([interval, scheduler](Observer<TimePoint, NoError> observer, Lifetime lifetime) {
        std::weak_ptr<DateScheduler> weakScheduler = scheduler;
        lifetime += scheduler->schedule(scheduler->currentDate() + interval, interval, [observer, weakScheduler] {
            if (auto strong = weakScheduler.lock()) {
                observer.send(strong->currentDate());
            }
        });
    });
}

// Values and completion arrive `interval` later, on `scheduler`; a failure
// or interruption passes at once.
template<class V, class E>
SignalProducer<V, E> SignalProducer<V, E>::delay(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const
{
    auto source = *this;
    return SignalProducer<V, E>([source, interval, scheduler](Observer<V, E> observer, Lifetime lifetime) {
        lifetime += source.start(Observer<V, E>::make([observer, interval, scheduler](Event<V, E>&& event) {
            if (event.isFailed() || event.isInterrupted()) {
                observer.sendEvent(std::move(event));
                return;
            }
            // Not tracked per item: after a disposal an item still due delivers
            // into the ended start, which drops it.
            scheduler->schedule(scheduler->currentDate() + interval,
                [observer, event = std::move(event)]() mutable { observer.sendEvent(std::move(event)); });
        }));
    });
}

// At most one value per `interval`, delivered on `scheduler`: a value that
// comes when none has been sent for `interval` is sent at once; values that
// come sooner are held, each replacing the one held before, and the one held
// last is sent `interval` after the value sent before it. Completion waits
// for a held value to be sent; a failure or interruption passes at once and
// drops the held value.
template<class V, class E>
SignalProducer<V, E> SignalProducer<V, E>::throttle(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const
{
    auto source = *this;
    return SignalProducer<V, E>([source, interval, scheduler](Observer<V, E> observer, Lifetime lifetime) {
        struct State {
            std::mutex mutex;
            std::optional<DateScheduler::TimePoint> previousDate; // When the last value was sent.
            std::optional<V> held;
            bool completionHeld = false;
        };
        auto state = std::make_shared<State>();
        SerialDisposable scheduled;
        lifetime += scheduled;
        // Holds the scheduler weakly: it runs on that scheduler, which holds it.
        std::weak_ptr<DateScheduler> weakScheduler = scheduler;
        auto sendHeld = [state, observer, weakScheduler] {
            auto scheduler = weakScheduler.lock();
            if (!scheduler) {
                return;
            }
            std::optional<V> value;
            bool complete = false;
            {
                std::lock_guard lock(state->mutex);
                value = std::exchange(state->held, std::nullopt);
                complete = state->completionHeld;
                if (value) {
                    state->previousDate = scheduler->currentDate();
                }
            }
            if (value) {
                observer.send(std::move(*value));
            }
            if (complete) {
                observer.sendCompleted();
            }
        };
        lifetime += source.start(Observer<V, E>::make([state, scheduled, scheduler, interval, observer, sendHeld](Event<V, E>&& event) {
            if (event.isFailed() || event.isInterrupted()) {
                scheduled.setInner({});
                observer.sendEvent(std::move(event));
                return;
            }
            std::unique_lock lock(state->mutex);
            if (event.isCompleted()) {
                if (state->held) {
                    state->completionHeld = true;
                    return;
                }
                lock.unlock();
                scheduled.setInner(scheduler->schedule([observer] { observer.sendCompleted(); }));
                return;
            }
            const auto now = scheduler->currentDate();
            const bool wasHolding = state->held.has_value();
            state->held = std::move(event).value();
            if (wasHolding) {
                return; // Already scheduled; the newest value replaces the held one.
            }
            if (!state->previousDate || now >= *state->previousDate + interval) {
                // Sent at once, but on the scheduler, like every value of this operator.
                state->previousDate = now;
                lock.unlock();
                scheduled.setInner(scheduler->schedule(sendHeld));
                return;
            }
            const auto date = *state->previousDate + interval;
            lock.unlock();
            scheduled.setInner(scheduler->schedule(date, sendHeld));
        }));
    });
}

// A value is sent, on `scheduler`, only once `interval` has passed without a
// newer value; each value restarts the wait. Completion and failure pass
// (on the scheduler) at once, dropping a value still waiting.
template<class V, class E>
SignalProducer<V, E> SignalProducer<V, E>::debounce(DateScheduler::Duration interval, DateSchedulerPtr scheduler) const
{
    auto source = *this;
    return SignalProducer<V, E>([source, interval, scheduler](Observer<V, E> observer, Lifetime lifetime) {
        SerialDisposable scheduled;
        lifetime += scheduled;
        lifetime += source.start(Observer<V, E>::make([scheduled, scheduler, interval, observer](Event<V, E>&& event) {
            if (event.isInterrupted()) {
                scheduled.setInner({});
                observer.sendInterrupted();
                return;
            }
            if (event.isValue()) {
                scheduled.setInner(scheduler->schedule(scheduler->currentDate() + interval,
                    [observer, value = std::move(event).value()] { observer.send(value); }));
                return;
            }
            scheduled.setInner(scheduler->schedule([observer, event = std::move(event)]() mutable { observer.sendEvent(std::move(event)); }));
        }));
    });
}

}
