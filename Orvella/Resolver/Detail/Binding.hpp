#pragma once
// The container's inside: bindings as the resolver stores them, the
// resolution stack that finds cycles, and the coordination of single builds.

#include "Orvella/Resolver/ResolutionError.hpp"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>
#include <vector>

namespace Orvella {
class Resolver;
}

namespace Orvella::Detail {

// What every binding has: its key. Bindings are made by the binder, owned by
// the resolver and never change after the container is built.
class Binding {
public:
    explicit Binding(std::type_index key) : m_key(key) {}
    virtual ~Binding() = default;
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    std::type_index key() const { return m_key; }

private:
    std::type_index m_key;
};

// A binding that gives instances of `Key`. The resolver stores it under
// `typeid(Key)` and nothing else, which makes the downcast from `Binding` safe.
// `resolve` may be called from any thread at once.
template<class Key>
class KeyBinding : public Binding {
public:
    KeyBinding() : Binding(typeid(Key)) {}

    virtual std::expected<std::shared_ptr<Key>, ResolutionError> resolve(Resolver& resolver) = 0;
};

using BindingTable = std::unordered_map<std::type_index, std::unique_ptr<Binding>>;

// The key of the binding being resolved, on the resolving thread's stack for
// as long as its factory runs. A frame whose key is already on the stack
// closes a cycle: the factory of that key asked for it again.
class ResolutionFrame {
public:
    explicit ResolutionFrame(const Binding& binding);
    ~ResolutionFrame();
    ResolutionFrame(const ResolutionFrame&) = delete;
    ResolutionFrame& operator=(const ResolutionFrame&) = delete;

    bool closesCycle() const { return m_cycleStart != noCycle; }
    // The chain from the first frame of the key to this one.
    ResolutionError cycle() const;

    // The calling thread's stack, outermost first.
    static std::vector<const Binding*> currentStack();

private:
    static constexpr std::size_t noCycle = static_cast<std::size_t>(-1);
    std::size_t m_cycleStart = noCycle;
};

// The build state of one single binding. `ready` turns true once, after the
// instance was stored, and is then read without a lock; the other fields
// belong to the coordinator's mutex.
class SingleState {
public:
    std::atomic<bool> ready = false;
    bool building = false;
    std::thread::id builder;

    // Drops the held instance; called once, when the container ends.
    virtual void release() = 0;

protected:
    SingleState() = default;
    ~SingleState() = default;
};

// Makes sure one thread builds a single while the others wait for it, without
// holding a lock while the factory runs. A thread that would wait for a build
// that (through other waiting threads) waits for one of its own builds gets a
// cycle instead of a deadlock.
class SingleCoordinator {
public:
    enum class Ticket {
        // The calling thread builds the instance and then calls `finish`.
        build,
        // Another thread built it meanwhile.
        ready,
    };

    // Precondition: the binding's frame is on the calling thread's stack.
    std::expected<Ticket, ResolutionError> begin(const Binding& binding, SingleState& state);
    // Ends the build `begin` handed out; `built` after the instance was stored.
    void finish(SingleState& state, bool built);
    // Drops the instances, the last built first.
    void releaseAll();

private:
    struct Waiter {
        const Binding* binding;
        const SingleState* state;
        std::vector<const Binding*> stack;
    };

    std::optional<ResolutionError> crossThreadCycle(const Binding& binding, const SingleState& state) const;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::unordered_map<std::thread::id, Waiter> m_waiters;
    std::vector<SingleState*> m_built;
};

// Lets the library's own bindings reach the resolver's single coordination.
class BindingAccess {
    BindingAccess() = default;
    template<class, class>
    friend class SingleBinding;
};

} // namespace Orvella::Detail
