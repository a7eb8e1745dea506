#pragma once

#include "Reactive/MutableProperty.hpp"

#include <string>

namespace Orvella {

// The general pane's values: the settings manager's own properties (not
// copies), so a change takes effect wherever they are observed, and the
// version text. The properties outlive the view model. Main thread only.
class GeneralPreferencesViewModel {
public:
    GeneralPreferencesViewModel(Reactive::MutableProperty<bool>& launchOnStartup, Reactive::MutableProperty<bool>& enableDesktopNotifications,
        Reactive::MutableProperty<bool>& enableUsageTracking, std::string versionText);
    // The version text of this build.
    GeneralPreferencesViewModel(Reactive::MutableProperty<bool>& launchOnStartup, Reactive::MutableProperty<bool>& enableDesktopNotifications,
        Reactive::MutableProperty<bool>& enableUsageTracking);

    [[nodiscard]] Reactive::MutableProperty<bool>& launchOnStartup() const { return m_launchOnStartup; }
    [[nodiscard]] Reactive::MutableProperty<bool>& enableDesktopNotifications() const { return m_enableDesktopNotifications; }
    [[nodiscard]] Reactive::MutableProperty<bool>& enableUsageTracking() const { return m_enableUsageTracking; }
    // "1.2 (345)", or "Unknown Version".
    [[nodiscard]] const std::string& versionText() const { return m_versionText; }

private:
    Reactive::MutableProperty<bool>& m_launchOnStartup;
    Reactive::MutableProperty<bool>& m_enableDesktopNotifications;
    Reactive::MutableProperty<bool>& m_enableUsageTracking;
    std::string m_versionText;
};

} // namespace Orvella
