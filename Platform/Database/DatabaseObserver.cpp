#include "Platform/Database/DatabaseObserver.hpp"

#include "Platform/Database/DatabaseChangeMonitor.hpp"

#include <utility>

namespace Platform {

namespace {

void runNotification(const std::shared_ptr<DatabaseObservation::State>& observation)
{
    using Phase = DatabaseObservation::State::Phase;
    {
        std::lock_guard lock(observation->mutex);
        if (observation->cancelled) {
            observation->phase = Phase::idle;
            return;
        }
        observation->phase = Phase::running;
    }
    observation->onChange();
    {
        std::lock_guard lock(observation->mutex);
        if (observation->phase != Phase::runningAgain || observation->cancelled) {
            observation->phase = Phase::idle;
            return;
        }
        observation->phase = Phase::scheduled;
    }
    // A commit landed while the callback ran: one more call, through the
    // executor again so that the executor keeps its own ordering.
    observation->executor([observation] { runNotification(observation); });
}

} // namespace

void deliverDatabaseChange(const std::shared_ptr<DatabaseObservation::State>& observation)
{
    using Phase = DatabaseObservation::State::Phase;
    {
        std::lock_guard lock(observation->mutex);
        if (observation->cancelled)
            return;
        switch (observation->phase) {
        case Phase::idle:
            observation->phase = Phase::scheduled;
            break;
        case Phase::running:
            observation->phase = Phase::runningAgain;
            return;
        case Phase::scheduled:
        case Phase::runningAgain:
            return;
        }
    }
    observation->executor([observation] { runNotification(observation); });
}

DatabaseObservation::DatabaseObservation(std::shared_ptr<State> state)
    : m_state(std::move(state))
{
}

DatabaseObservation& DatabaseObservation::operator=(DatabaseObservation&& other) noexcept
{
    if (this != &other) {
        invalidate();
        m_state = std::move(other.m_state);
    }
    return *this;
}

DatabaseObservation::~DatabaseObservation()
{
    invalidate();
}

void DatabaseObservation::invalidate()
{
    auto state = std::move(m_state);
    if (!state)
        return;
    std::shared_ptr<DatabaseChangeMonitor> monitor;
    {
        std::lock_guard lock(state->mutex);
        state->cancelled = true;
        monitor = std::move(state->monitor);
    }
    if (monitor)
        monitor->remove(state.get());
    // Releasing the monitor here may stop its thread when this was the file's last observation.
}

std::expected<DatabaseObservation, DatabaseError> DatabaseObserver::observe(const DatabaseConfiguration& configuration,
    DatabaseExecutor executor, std::function<void()> onChange)
{
    auto monitor = DatabaseChangeMonitor::monitor(configuration, DatabaseChangeMonitor::keyFor(configuration.file));
    if (!monitor)
        return std::unexpected(monitor.error());
    auto state = std::make_shared<DatabaseObservation::State>();
    state->executor = std::move(executor);
    state->onChange = std::move(onChange);
    state->monitor = *monitor;
    (*monitor)->add(state);
    return DatabaseObservation(std::move(state));
}

} // namespace Platform
