#pragma once

#include "Orvella/Tracking/BITHockeyManager.hpp"
#include "Orvella/Tracking/TrackingManager.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"

#include <memory>

namespace Orvella {

// Sends usage events through the crash-reporting manager's metrics, only
// while "EnableUsageTracking" is on; otherwise (or without metrics) it logs
// "Got no metricsManager from BITHockeyManager!" instead.
class HockeyTrackingManager final : public TrackingManager {
public:
    HockeyTrackingManager(Reactive::Property<bool> enableUsageTracking, std::shared_ptr<Reactive::MutableProperty<bool>> appInstallTracked,
        std::shared_ptr<BITHockeyManager> hockeyManager);

    void trackAppStart() override;
    void trackLogin() override;
    void trackDatabaseLost() override;

private:
    void send(TrackingEvent event);

    Reactive::Property<bool> m_enableUsageTracking;
    std::shared_ptr<Reactive::MutableProperty<bool>> m_appInstallTracked;
    std::shared_ptr<BITHockeyManager> m_hockeyManager;
};

} // namespace Orvella
