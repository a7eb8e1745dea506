#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/Disposables/AnyDisposable.hpp"
#include "Reactive/Event.hpp"
#include "Reactive/Observer.hpp"
#include "Reactive/SignalProducer.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace Sync {

// The one piece of work a run has under way (a request, a scan, a change),
// so that stopping the run disposes it, and whether the run was stopped.
//
// Threading: `start`, `ended` and the steps they start follow one another on
// whichever thread finished the step before; `stop` and `isStopped` may come
// from any thread at any time. Shared by the run and the steps it delegates
// to: a request started here keeps this alive until it answers or is disposed.
class RunWork final : public std::enable_shared_from_this<RunWork> {
public:
    // Starts `work`, keeping its handle as the work under way (for `stop`)
    // unless it has finished already, or the run was stopped meanwhile.
    void start(const std::function<Reactive::AnyDisposable()>& work);
    // The work under way answered: nothing to dispose any more.
    void ended();
    // Disposes the work under way; nothing started after it is kept.
    void stop();
    [[nodiscard]] bool isStopped() const;

    // Starts `producer` as the work under way and hands its first event that
    // is not an interruption to `handler`, once the work has ended; later
    // events are dropped. `handler` keeps alive what it needs (the run).
    template<class Value, class Handler>
    void awaitFirst(const Reactive::SignalProducer<Value, Reactive::AnyError>& producer, Handler handler)
    {
        start([self = shared_from_this(), &producer, &handler] {
            return producer.start(Reactive::Observer<Value, Reactive::AnyError>::make(
                [self, handler = std::move(handler), received = false](
                    Reactive::Event<Value, Reactive::AnyError>&& event) mutable {
                    if (received || event.isInterrupted()) {
                        return;
                    }
                    received = true;
                    self->ended();
                    handler(std::move(event));
                }));
        });
    }

private:
    mutable std::mutex m_mutex;
    Reactive::AnyDisposable m_work;
    std::uint64_t m_generation { 0 };
    bool m_stopped { false };
};

} // namespace Sync
