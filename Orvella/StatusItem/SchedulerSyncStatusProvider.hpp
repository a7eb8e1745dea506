#pragma once

#include "Orvella/StatusItem/SyncStatusProvider.hpp"

#include "Sync/Schedule/SyncScheduler.hpp"

#include <memory>

namespace Orvella {

// The sync engine's scheduler as the tray icon's and the popover's source of
// the sync state: its own status property, unchanged.
class SchedulerSyncStatusProvider final : public SyncStatusProvider {
public:
    explicit SchedulerSyncStatusProvider(std::shared_ptr<const Sync::SyncScheduler> scheduler) : m_scheduler(std::move(scheduler)) {}

    [[nodiscard]] Reactive::Property<Sync::SyncStatus> status() const override { return m_scheduler->status(); }

private:
    std::shared_ptr<const Sync::SyncScheduler> m_scheduler;
};

} // namespace Orvella
