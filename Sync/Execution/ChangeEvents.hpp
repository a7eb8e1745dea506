#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Execution/SyncEvent.hpp"

#include <expected>
#include <functional>
#include <optional>
#include <utility>

namespace Sync {

using SyncEventProducer = Reactive::SignalProducer<SyncEventPair, Reactive::NoError>;

// The event wrapper of one change around the producer of its work: sends
// (started, change), then starts `call`; when `call` completes sends
// (finished, change), when it fails (error(e), change); then completes. Values
// of `call` are not forwarded: reactions to them are attached to `call`
// before it is wrapped, so they have run before `finished` is sent. The
// result never fails; disposing it disposes `call`.
template<class T>
[[nodiscard]] SyncEventProducer changeEvents(Change change, Reactive::SignalProducer<T, Reactive::AnyError> call)
{
    return SyncEventProducer([change = std::move(change), call = std::move(call)](
                                 Reactive::Observer<SyncEventPair, Reactive::NoError> observer, Reactive::Lifetime lifetime) {
        observer.send({ SyncEvent::started(), change });
        if (lifetime.hasEnded()) {
            return;
        }
        lifetime += call.start(Reactive::Observer<T, Reactive::AnyError>::make(
            [observer, change](Reactive::Event<T, Reactive::AnyError>&& event) {
                switch (event.kind()) {
                case Reactive::Event<T, Reactive::AnyError>::Kind::value:
                    return;
                case Reactive::Event<T, Reactive::AnyError>::Kind::completed:
                    observer.send({ SyncEvent::finished(), change });
                    observer.sendCompleted();
                    return;
                case Reactive::Event<T, Reactive::AnyError>::Kind::failed:
                    observer.send({ SyncEvent::error(std::move(event).error()), change });
                    observer.sendCompleted();
                    return;
                case Reactive::Event<T, Reactive::AnyError>::Kind::interrupted:
                    observer.sendInterrupted();
                    return;
                }
            }));
    });
}

// A change whose work is done synchronously on the starting thread (disk
// steps and store updates): sends (started, change), runs `work`, then
// (finished, change) or, when `work` answers an error, (error(e), change),
// and completes.
[[nodiscard]] inline SyncEventProducer synchronousChangeEvents(Change change,
    std::function<std::optional<Reactive::AnyError>()> work)
{
    return SyncEventProducer([change = std::move(change), work = std::move(work)](
                                 Reactive::Observer<SyncEventPair, Reactive::NoError> observer, Reactive::Lifetime lifetime) {
        observer.send({ SyncEvent::started(), change });
        if (lifetime.hasEnded()) {
            return;
        }
        if (auto failure = work()) {
            observer.send({ SyncEvent::error(std::move(*failure)), change });
        } else {
            observer.send({ SyncEvent::finished(), change });
        }
        observer.sendCompleted();
    });
}

// The error of a failed synchronous step (a disk operation), as a change reports it.
template<class T>
[[nodiscard]] std::optional<Reactive::AnyError> stepFailure(const std::expected<void, T>& result)
{
    if (result) {
        return std::nullopt;
    }
    return Reactive::AnyError(result.error());
}

// A producer that builds its upstream only when started, so that checks of
// the disk made while building see the disk as it is at that moment.
template<class T>
[[nodiscard]] Reactive::SignalProducer<T, Reactive::AnyError> deferredCall(
    std::function<Reactive::SignalProducer<T, Reactive::AnyError>()> make)
{
    return Reactive::SignalProducer<T, Reactive::AnyError>(
        [make = std::move(make)](Reactive::Observer<T, Reactive::AnyError> observer, Reactive::Lifetime lifetime) {
            lifetime += make().start(observer);
        });
}

} // namespace Sync
