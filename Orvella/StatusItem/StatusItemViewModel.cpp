#include "Orvella/StatusItem/StatusItemViewModel.hpp"

#include "Orvella/StatusItem/SyncStatusDisplay.hpp"

namespace Orvella {

StatusItemViewModel::StatusItemViewModel(std::shared_ptr<SyncStatusProvider> syncStatusProvider, std::shared_ptr<StatusItemNavigator> navigator)
    : m_icon(syncStatusProvider->status().map([](const Sync::SyncStatus& status) { return statusItemIcon(status); }))
    , m_toolTip(syncStatusProvider->status().map([](const Sync::SyncStatus& status) { return statusText(status); }))
    , m_statusItemClickAction([navigator = std::move(navigator)](const std::any& sender) {
        navigator->togglePopover(sender);
        return Reactive::SignalProducer<Reactive::Unit, Reactive::NoError>::empty();
    })
{
}

} // namespace Orvella
