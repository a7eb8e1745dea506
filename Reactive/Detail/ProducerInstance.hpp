#pragma once
// The state of one start of a producer, shared by its operator chain.

#include "Reactive/Disposables/AnyDisposable.hpp"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace Reactive::Detail {

// Made by `SignalProducer::start`; it is also the disposable the start returns.
// The innermost generator attaches how to interrupt and how to end the
// started work; the last step before the caller's observer ends the
// instance when a terminal event reaches it. Ending runs once.
class ProducerInstance final : public DisposableState {
public:
    // Returns false (and runs `end` at once) when the instance has ended already.
    bool attach(std::function<void()> interrupt, std::function<void()> end);

    // Interrupts the started work, then ends it.
    void dispose() override;
    bool isDisposed() const override { return m_disposed.load(std::memory_order_acquire); }

    // Ends the started work: its signal stops and its lifetime ends.
    void end();
    bool hasEnded() const;

private:
    std::atomic<bool> m_disposed { false };
    mutable std::mutex m_mutex;
    bool m_ended = false;
    std::function<void()> m_interrupt;
    std::function<void()> m_end;
};

// What `SignalProducer::start` returns: disposes the instance, and keeps the
// started signal alive so that a disposal can still deliver `interrupted`
// when nothing else holds the signal any more.
class StartHandle final : public DisposableState {
public:
    StartHandle(std::shared_ptr<ProducerInstance> instance, std::shared_ptr<void> keepAlive)
        : m_instance(std::move(instance))
        , m_keepAlive(std::move(keepAlive))
    {
    }
    void dispose() override { m_instance->dispose(); }
    bool isDisposed() const override { return m_instance->isDisposed(); }

private:
    std::shared_ptr<ProducerInstance> m_instance;
    std::shared_ptr<void> m_keepAlive;
};

}
