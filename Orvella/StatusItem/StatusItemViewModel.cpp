#include "Orvella/StatusItem/StatusItemViewModel.hpp"

#include "Orvella/StatusItem/SyncStatusDisplay.hpp"

namespace Orvella {

StatusItemViewModel::StatusItemViewModel(
    std::shared_ptr<SyncStatusProvider> syncStatusProvider, std::shared_ptr<StatusItemNavigator> navigator, Reactive::Property<bool> isLoggedIn)
    : m_icon(Reactive::combineLatest(syncStatusProvider->status(), isLoggedIn).map([](const auto& both) {
        return std::get<1>(both) ? statusItemIcon(std::get<0>(both)) : std::string(loggedOutStatusItemIcon);
    }))
    , m_toolTip(Reactive::combineLatest(syncStatusProvider->status(), isLoggedIn).map([](const auto& both) {
        return std::get<1>(both) ? statusText(std::get<0>(both)) : std::string(loggedOutToolTip);
    }))
    , m_statusItemClickAction([navigator = std::move(navigator)](const std::any& sender) {
        navigator->togglePopover(sender);
        return Reactive::SignalProducer<Reactive::Unit, Reactive::NoError>::empty();
    })
{
}

} // namespace Orvella
