#include "Orvella/Preferences/GeneralPreferencesViewModel.hpp"

#include "Orvella/InfoPlistTools/InfoPlistTools.hpp"

namespace Orvella {

GeneralPreferencesViewModel::GeneralPreferencesViewModel(Reactive::MutableProperty<bool>& launchOnStartup,
    Reactive::MutableProperty<bool>& enableDesktopNotifications, Reactive::MutableProperty<bool>& enableUsageTracking, std::string versionText)
    : m_launchOnStartup(launchOnStartup)
    , m_enableDesktopNotifications(enableDesktopNotifications)
    , m_enableUsageTracking(enableUsageTracking)
    , m_versionText(std::move(versionText))
{
}

GeneralPreferencesViewModel::GeneralPreferencesViewModel(Reactive::MutableProperty<bool>& launchOnStartup,
    Reactive::MutableProperty<bool>& enableDesktopNotifications, Reactive::MutableProperty<bool>& enableUsageTracking)
    : GeneralPreferencesViewModel(launchOnStartup, enableDesktopNotifications, enableUsageTracking, InfoPlistTools::versionString())
{
}

} // namespace Orvella
