#pragma once

#include "Reactive/Disposables/AnyDisposable.hpp"

#include <cstdint>
#include <mutex>
#include <vector>

namespace Reactive {

// A set of disposables disposed together. Adding to a disposed composite
// disposes the addition at once. Copies share the same set.
// Threading: every member may be called from any thread; the members are
// disposed outside the internal lock, in the order they were added.
class CompositeDisposable {
public:
    CompositeDisposable();

    // Adds `disposable`; the returned handle removes it again (without disposing it).
    AnyDisposable add(AnyDisposable disposable) const;
    AnyDisposable add(std::function<void()> action) const;
    CompositeDisposable& operator+=(AnyDisposable disposable) { add(std::move(disposable)); return *this; }

    void dispose() const;
    bool isDisposed() const;

    operator AnyDisposable() const; // NOLINT: a composite is a disposable.

private:
    class State;
    std::shared_ptr<State> m_state;
};

}
