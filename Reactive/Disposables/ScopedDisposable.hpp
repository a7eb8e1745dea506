#pragma once

#include "Reactive/Disposables/AnyDisposable.hpp"

#include <utility>

namespace Reactive {

// Disposes its inner disposable when it goes out of scope. Move-only.
class ScopedDisposable {
public:
    ScopedDisposable() = default;
    explicit ScopedDisposable(AnyDisposable inner) : m_inner(std::move(inner)) {}
    ScopedDisposable(ScopedDisposable&& other) noexcept : m_inner(std::exchange(other.m_inner, {})) {}
    ScopedDisposable& operator=(ScopedDisposable&& other) noexcept
    {
        if (this != &other) {
            m_inner.dispose();
            m_inner = std::exchange(other.m_inner, {});
        }
        return *this;
    }
    ScopedDisposable(const ScopedDisposable&) = delete;
    ScopedDisposable& operator=(const ScopedDisposable&) = delete;
    ~ScopedDisposable() { m_inner.dispose(); }

    const AnyDisposable& inner() const { return m_inner; }
    void dispose() const { m_inner.dispose(); }
    bool isDisposed() const { return m_inner.isDisposed(); }

private:
    AnyDisposable m_inner;
};

}
