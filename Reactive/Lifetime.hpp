#pragma once
// The lifetime of an owner: work tied to it ends when it ends.

#include "Reactive/Disposables/AnyDisposable.hpp"
#include "Reactive/Disposables/CompositeDisposable.hpp"

#include <functional>
#include <memory>
#include <utility>

namespace Reactive {

// Observes the end of something: an object (through its `Token`), a started
// producer, a binding. A lifetime ends once and never restarts; ending runs
// every registered action and disposable once, on the thread that ends it,
// with no lock held. Copies share the same lifetime.
// Threading: every member may be called from any thread.
class Lifetime {
public:
    class Token;

    // A new lifetime and the token whose destruction (or `end()`) ends it.
    static std::pair<Lifetime, Token> make();
    // A lifetime that has already ended.
    static Lifetime empty();
    // A lifetime that ends when `disposable` is disposed.
    static Lifetime observing(CompositeDisposable disposable) { return Lifetime(std::move(disposable)); }

    bool hasEnded() const { return m_disposable.isDisposed(); }

    // Runs `action` when the lifetime ends, at once if it has ended already.
    // The returned handle unregisters the action without running it.
    AnyDisposable observeEnded(std::function<void()> action) const { return m_disposable.add(std::move(action)); }

    // Disposes `disposable` when the lifetime ends, at once if it has ended already.
    AnyDisposable add(AnyDisposable disposable) const { return m_disposable.add(std::move(disposable)); }
    const Lifetime& operator+=(AnyDisposable disposable) const
    {
        m_disposable.add(std::move(disposable));
        return *this;
    }

    bool operator==(const Lifetime& other) const { return AnyDisposable(m_disposable).state() == AnyDisposable(other.m_disposable).state(); }

private:
    explicit Lifetime(CompositeDisposable disposable) : m_disposable(std::move(disposable)) {}

    CompositeDisposable m_disposable;
};

// Ends its lifetime when destroyed or when `end()` is called. Move-only.
// An owner can hold just a token and hand out `token.lifetime()`.
class Lifetime::Token {
public:
    // A token with a new lifetime of its own.
    Token() : Token(CompositeDisposable()) {}
    Token(Token&& other) noexcept = default;
    Token& operator=(Token&& other) noexcept
    {
        if (this != &other) {
            end();
            m_disposable = std::move(other.m_disposable);
        }
        return *this;
    }
    Token(const Token&) = delete;
    Token& operator=(const Token&) = delete;
    ~Token() { end(); }

    void end()
    {
        if (m_disposable) {
            m_disposable->dispose();
        }
    }

    // The lifetime this token ends. Precondition: not moved from.
    Lifetime lifetime() const { return Lifetime(*m_disposable); }

private:
    friend class Lifetime;
    explicit Token(CompositeDisposable disposable) : m_disposable(std::make_unique<CompositeDisposable>(std::move(disposable))) {}

    std::unique_ptr<CompositeDisposable> m_disposable;
};

inline std::pair<Lifetime, Lifetime::Token> Lifetime::make()
{
    CompositeDisposable disposable;
    return { Lifetime(disposable), Token(disposable) };
}

inline Lifetime Lifetime::empty()
{
    CompositeDisposable disposable;
    disposable.dispose();
    return Lifetime(disposable);
}

}
