#include "Reactive/Disposables/AnyDisposable.hpp"
#include "Reactive/Disposables/CompositeDisposable.hpp"
#include "Reactive/Disposables/SerialDisposable.hpp"

#include <utility>

namespace Reactive {

namespace Detail {

ActionDisposableState::ActionDisposableState(std::function<void()> action)
    : m_action(std::move(action))
{
}

void ActionDisposableState::dispose()
{
    if (m_disposed.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    // Moved out first: the action may drop the last reference to this state.
    auto action = std::move(m_action);
    m_action = nullptr;
    if (action) {
        action();
    }
}

}

AnyDisposable::AnyDisposable(std::function<void()> action)
    : m_state(std::make_shared<Detail::ActionDisposableState>(std::move(action)))
{
}

AnyDisposable AnyDisposable::flag()
{
    return AnyDisposable(std::make_shared<Detail::FlagDisposableState>());
}

class CompositeDisposable::State final : public Detail::DisposableState {
public:
    AnyDisposable add(AnyDisposable disposable)
    {
        {
            std::lock_guard lock(m_mutex);
            if (!m_disposed) {
                auto key = m_nextKey++;
                m_entries.push_back({ key, std::move(disposable) });
                std::weak_ptr<State> weakSelf = m_self;
                return AnyDisposable([weakSelf, key] {
                    if (auto self = weakSelf.lock()) {
                        self->remove(key);
                    }
                });
            }
        }
        disposable.dispose();
        return {};
    }

    void remove(std::uint64_t key)
    {
        AnyDisposable removed;
        std::lock_guard lock(m_mutex);
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->key == key) {
                // Released after the lock: its destructor may run arbitrary code.
                removed = std::move(it->disposable);
                m_entries.erase(it);
                break;
            }
        }
    }

    void dispose() override
    {
        std::vector<Entry> entries;
        {
            std::lock_guard lock(m_mutex);
            if (m_disposed) {
                return;
            }
            m_disposed = true;
            entries.swap(m_entries);
        }
        for (auto& entry : entries) {
            entry.disposable.dispose();
        }
    }

    bool isDisposed() const override
    {
        std::lock_guard lock(m_mutex);
        return m_disposed;
    }

    std::weak_ptr<State> m_self;

private:
    struct Entry {
        std::uint64_t key;
        AnyDisposable disposable;
    };

    mutable std::mutex m_mutex;
    bool m_disposed = false;
    std::uint64_t m_nextKey = 0;
    std::vector<Entry> m_entries;
};

CompositeDisposable::CompositeDisposable()
    : m_state(std::make_shared<State>())
{
    m_state->m_self = m_state;
}

AnyDisposable CompositeDisposable::add(AnyDisposable disposable) const { return m_state->add(std::move(disposable)); }
AnyDisposable CompositeDisposable::add(std::function<void()> action) const { return m_state->add(AnyDisposable(std::move(action))); }
void CompositeDisposable::dispose() const { m_state->dispose(); }
bool CompositeDisposable::isDisposed() const { return m_state->isDisposed(); }
CompositeDisposable::operator AnyDisposable() const { return AnyDisposable(m_state); }

class SerialDisposable::State final : public Detail::DisposableState {
public:
    void setInner(AnyDisposable inner)
    {
        AnyDisposable previous;
        {
            std::lock_guard lock(m_mutex);
            if (!m_disposed) {
                previous = std::exchange(m_inner, std::move(inner));
                inner = {};
            }
        }
        previous.dispose();
        inner.dispose();
    }

    AnyDisposable inner() const
    {
        std::lock_guard lock(m_mutex);
        return m_inner;
    }

    void dispose() override
    {
        AnyDisposable previous;
        {
            std::lock_guard lock(m_mutex);
            if (m_disposed) {
                return;
            }
            m_disposed = true;
            previous = std::exchange(m_inner, {});
        }
        previous.dispose();
    }

    bool isDisposed() const override
    {
        std::lock_guard lock(m_mutex);
        return m_disposed;
    }

private:
    mutable std::mutex m_mutex;
    bool m_disposed = false;
    AnyDisposable m_inner;
};

SerialDisposable::SerialDisposable() : m_state(std::make_shared<State>()) {}
void SerialDisposable::setInner(AnyDisposable inner) const { m_state->setInner(std::move(inner)); }
AnyDisposable SerialDisposable::inner() const { return m_state->inner(); }
void SerialDisposable::dispose() const { m_state->dispose(); }
bool SerialDisposable::isDisposed() const { return m_state->isDisposed(); }
SerialDisposable::operator AnyDisposable() const { return AnyDisposable(m_state); }

}
