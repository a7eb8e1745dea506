#pragma once

#include "Reactive/Disposables/AnyDisposable.hpp"

#include <memory>

namespace Reactive {

// Holds one inner disposable at a time: setting a new one disposes the one
// before. Once disposed, every inner set later is disposed at once.
// Threading: every member may be called from any thread. Copies share state.
class SerialDisposable {
public:
    SerialDisposable();

    void setInner(AnyDisposable inner) const;
    AnyDisposable inner() const;

    void dispose() const;
    bool isDisposed() const;

    operator AnyDisposable() const; // NOLINT: a serial disposable is a disposable.

private:
    class State;
    std::shared_ptr<State> m_state;
};

}
