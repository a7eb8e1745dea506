#pragma once
// The receiving end of a stream.

#include "Reactive/Event.hpp"

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace Reactive {

namespace Detail {

// Where an observer's events go. Implementations: a signal's serialising
// input, an operator's transform, a callback.
template<class V, class E>
class ObserverSink {
public:
    virtual ~ObserverSink() = default;
    virtual void receive(Event<V, E>&& event) = 0;
};

// Calls a function for each event; after the first terminal event it drops everything.
template<class V, class E, class F>
class FunctionSink final : public ObserverSink<V, E> {
public:
    explicit FunctionSink(F function) : m_function(std::move(function)) {}

    void receive(Event<V, E>&& event) override
    {
        if (m_terminated.load(std::memory_order_acquire)) {
            return;
        }
        if (event.isTerminating() && m_terminated.exchange(true, std::memory_order_acq_rel)) {
            return;
        }
        m_function(std::move(event));
    }

private:
    std::atomic<bool> m_terminated { false };
    F m_function;
};

// A transform step inside one started producer: always called serially by
// the producer's signal, so it needs no synchronisation of its own.
template<class V, class E, class F>
class TransformSink final : public ObserverSink<V, E> {
public:
    explicit TransformSink(F function) : m_function(std::move(function)) {}
    void receive(Event<V, E>&& event) override { m_function(std::move(event)); }

private:
    F m_function;
};

}

// Sends events into a stream. An observer handle is cheap to copy; copies
// share the same sink.
//
// Contract: an observer obtained from `Signal::pipe()` or handed to a
// producer's start function is thread-safe and serialised: any thread may
// send, events reach the observers one at a time in the order they were
// accepted, at most one terminal event is delivered and nothing after it.
// An observer made from callbacks drops everything after its first terminal
// event; it relies on the stream that calls it for serialisation.
template<class V, class E>
class Observer {
public:
    // Named callbacks; each may be left empty.
    struct Callbacks {
        std::function<void(const V&)> value = {};
        std::function<void(const E&)> failed = {};
        std::function<void()> completed = {};
        std::function<void()> interrupted = {};
    };

    // An observer that ignores every event.
    Observer() : Observer([](Event<V, E>&&) {}, 0) {}

    explicit Observer(std::shared_ptr<Detail::ObserverSink<V, E>> sink) : m_sink(std::move(sink)) {}

    // Calls `action` with each event.
    explicit Observer(std::function<void(const Event<V, E>&)> action)
        : Observer([action = std::move(action)](Event<V, E>&& event) { action(event); }, 0)
    {
    }

    explicit Observer(Callbacks callbacks)
        : Observer(
              [callbacks = std::move(callbacks)](Event<V, E>&& event) {
                  switch (event.kind()) {
                  case Event<V, E>::Kind::value:
                      if (callbacks.value) callbacks.value(event.value());
                      break;
                  case Event<V, E>::Kind::failed:
                      if (callbacks.failed) callbacks.failed(event.error());
                      break;
                  case Event<V, E>::Kind::completed:
                      if (callbacks.completed) callbacks.completed();
                      break;
                  case Event<V, E>::Kind::interrupted:
                      if (callbacks.interrupted) callbacks.interrupted();
                      break;
                  }
              },
              0)
    {
    }

    // An observer over a function of `Event&&`, without the cost of `std::function`.
    template<class F>
    static Observer make(F function)
    {
        return Observer(std::make_shared<Detail::FunctionSink<V, E, F>>(std::move(function)));
    }

    // A transform step that is only ever called serially (used by operators).
    template<class F>
    static Observer makeTransform(F function)
    {
        return Observer(std::make_shared<Detail::TransformSink<V, E, F>>(std::move(function)));
    }

    void sendEvent(Event<V, E> event) const { m_sink->receive(std::move(event)); }
    void send(V value) const { m_sink->receive(Event<V, E>::makeValue(std::move(value))); }
    void sendFailed(E error) const { m_sink->receive(Event<V, E>::makeFailed(std::move(error))); }
    void sendCompleted() const { m_sink->receive(Event<V, E>::makeCompleted()); }
    void sendInterrupted() const { m_sink->receive(Event<V, E>::makeInterrupted()); }

    const std::shared_ptr<Detail::ObserverSink<V, E>>& sink() const { return m_sink; }

private:
    template<class F>
    Observer(F function, int) : m_sink(std::make_shared<Detail::FunctionSink<V, E, F>>(std::move(function)))
    {
    }

    std::shared_ptr<Detail::ObserverSink<V, E>> m_sink;
};

}
