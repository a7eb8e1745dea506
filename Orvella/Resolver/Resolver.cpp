#include "Orvella/Resolver/Resolver.hpp"

#include "Orvella/Resolver/Binder.hpp"

#include <algorithm>
#include <string>

namespace Orvella {

Resolver::Resolver(const std::vector<std::shared_ptr<Module>>& modules)
{
    Binder binder{Binder::ResolverKey()};
    for (const auto& module : modules) {
        module->configure(binder);
    }
    m_bindings = std::move(binder).takeBindings(Binder::ResolverKey());
}

Resolver::~Resolver()
{
    m_singles.releaseAll();
}

Detail::Binding* Resolver::find(std::type_index key) const
{
    const auto found = m_bindings.find(key);
    return found == m_bindings.end() ? nullptr : found->second.get();
}

namespace Detail {

namespace {

// The keys being resolved on this thread, outermost first. Bindings of
// several containers may share it; they never compare equal.
std::vector<const Binding*>& resolutionStack()
{
    thread_local std::vector<const Binding*> stack;
    return stack;
}

std::vector<std::string> namesOf(std::vector<const Binding*>::const_iterator begin,
    std::vector<const Binding*>::const_iterator end)
{
    std::vector<std::string> names;
    for (auto binding = begin; binding != end; ++binding) {
        names.push_back(ResolutionError::nameOf((*binding)->key()));
    }
    return names;
}

} // namespace

ResolutionFrame::ResolutionFrame(const Binding& binding)
{
    auto& stack = resolutionStack();
    const auto found = std::find(stack.begin(), stack.end(), &binding);
    if (found != stack.end()) {
        m_cycleStart = static_cast<std::size_t>(found - stack.begin());
    }
    stack.push_back(&binding);
}

ResolutionFrame::~ResolutionFrame()
{
    resolutionStack().pop_back();
}

ResolutionError ResolutionFrame::cycle() const
{
    const auto& stack = resolutionStack();
    return ResolutionError::cycle(namesOf(stack.begin() + static_cast<std::ptrdiff_t>(m_cycleStart), stack.end()));
}

std::vector<const Binding*> ResolutionFrame::currentStack()
{
    return resolutionStack();
}

std::expected<SingleCoordinator::Ticket, ResolutionError> SingleCoordinator::begin(const Binding& binding, SingleState& state)
{
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (state.ready.load(std::memory_order_relaxed)) {
            return Ticket::ready;
        }
        if (!state.building) {
            // Also after a failed build: the next thread to ask tries again.
            state.building = true;
            state.builder = self;
            return Ticket::build;
        }
        // The builder is another thread: this thread's own builds are on its
        // stack, where the frame found them before.
        if (auto cycle = crossThreadCycle(binding, state)) {
            return std::unexpected(std::move(*cycle));
        }
        m_waiters.insert_or_assign(self, Waiter{&binding, &state, ResolutionFrame::currentStack()});
        m_changed.wait(lock);
        m_waiters.erase(self);
    }
}

void SingleCoordinator::finish(SingleState& state, bool built)
{
    {
        std::lock_guard lock(m_mutex);
        state.building = false;
        if (built) {
            state.ready.store(true, std::memory_order_release);
            m_built.push_back(&state);
        }
    }
    m_changed.notify_all();
}

void SingleCoordinator::releaseAll()
{
    for (auto state = m_built.rbegin(); state != m_built.rend(); ++state) {
        (*state)->release();
    }
    m_built.clear();
}

// Follows the builders from the single this thread wants: each builder that
// waits itself waits for another single, whose builder may wait in turn. When
// the trail comes back to this thread, waiting would never end. The chain is
// put together from the stacks of the threads on the trail, so it lists every
// key between the repetitions.
std::optional<ResolutionError> SingleCoordinator::crossThreadCycle(const Binding& binding, const SingleState& state) const
{
    const auto self = std::this_thread::get_id();
    std::vector<const Binding*> trail;
    const Binding* wanted = &binding;
    std::thread::id builder = state.builder;
    for (std::size_t step = 0; step <= m_waiters.size(); ++step) {
        const auto waiting = m_waiters.find(builder);
        if (waiting == m_waiters.end()) {
            return std::nullopt;
        }
        const Waiter& waiter = waiting->second;
        auto from = std::find(waiter.stack.begin(), waiter.stack.end(), wanted);
        trail.insert(trail.end(), from == waiter.stack.end() ? waiter.stack.begin() : from + 1, waiter.stack.end());
        if (waiter.state->builder == self) {
            const auto& own = resolutionStack();
            auto start = std::find(own.begin(), own.end(), waiter.binding);
            std::vector<const Binding*> chain(start == own.end() ? own.begin() : start, own.end());
            chain.insert(chain.end(), trail.begin(), trail.end());
            return ResolutionError::cycle(namesOf(chain.begin(), chain.end()));
        }
        wanted = waiter.binding;
        builder = waiter.state->builder;
    }
    return std::nullopt;
}

} // namespace Detail

} // namespace Orvella
