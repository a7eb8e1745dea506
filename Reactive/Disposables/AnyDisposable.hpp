#pragma once
// Disposables: handles that end a piece of work (a start, an observation, a scheduled task).

#include <atomic>
#include <functional>
#include <memory>

namespace Reactive {

namespace Detail {

// What every disposable handle points at. `dispose()` is idempotent and
// thread-safe; the work it ends runs at most once.
class DisposableState {
public:
    virtual ~DisposableState() = default;
    virtual void dispose() = 0;
    virtual bool isDisposed() const = 0;
};

// Runs an action once, on the first `dispose()`.
class ActionDisposableState final : public DisposableState {
public:
    explicit ActionDisposableState(std::function<void()> action);
    void dispose() override;
    bool isDisposed() const override { return m_disposed.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_disposed { false };
    std::function<void()> m_action;
};

// Only records that it was disposed.
class FlagDisposableState final : public DisposableState {
public:
    void dispose() override { m_disposed.store(true, std::memory_order_release); }
    bool isDisposed() const override { return m_disposed.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_disposed { false };
};

}

// A copyable handle to any disposable; copies share it, so disposing one
// disposes all. A default-constructed handle is empty: disposing it does
// nothing and it reports itself disposed.
// Threading: every member may be called from any thread.
class AnyDisposable {
public:
    AnyDisposable() = default;
    // Runs `action` once, when first disposed. The action runs on the disposing thread.
    explicit AnyDisposable(std::function<void()> action);
    explicit AnyDisposable(std::shared_ptr<Detail::DisposableState> state) : m_state(std::move(state)) {}

    // A disposable that does nothing but remember that it was disposed.
    static AnyDisposable flag();

    void dispose() const
    {
        if (m_state) {
            m_state->dispose();
        }
    }
    bool isDisposed() const { return !m_state || m_state->isDisposed(); }
    bool isEmpty() const { return !m_state; }

    const std::shared_ptr<Detail::DisposableState>& state() const { return m_state; }

private:
    std::shared_ptr<Detail::DisposableState> m_state;
};

}
