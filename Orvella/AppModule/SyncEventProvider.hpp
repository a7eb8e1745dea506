#pragma once

#include "Orvella/Debug/SyncEventProvider.hpp"
#include "Sync/Run/SyncManager.hpp"

#include <memory>

namespace Orvella {

// The sync manager as `SyncEventProvider`.
class SyncManagerEventProvider final : public SyncEventProvider {
public:
    explicit SyncManagerEventProvider(std::shared_ptr<Sync::SyncManager> manager) : m_manager(std::move(manager)) {}
    [[nodiscard]] Reactive::Signal<Sync::SyncEventPair, Reactive::NoError> syncEvents() const override { return m_manager->syncEvents(); }
    [[nodiscard]] const std::shared_ptr<Sync::SyncManager>& manager() const { return m_manager; }

private:
    std::shared_ptr<Sync::SyncManager> m_manager;
};

} // namespace Orvella
