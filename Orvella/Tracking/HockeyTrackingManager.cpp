#include "Orvella/Tracking/HockeyTrackingManager.hpp"

#include "Platform/Foundation/Log.hpp"

namespace Orvella {

HockeyTrackingManager::HockeyTrackingManager(Reactive::Property<bool> enableUsageTracking,
    std::shared_ptr<Reactive::MutableProperty<bool>> appInstallTracked, std::shared_ptr<BITHockeyManager> hockeyManager)
    : m_enableUsageTracking(std::move(enableUsageTracking))
    , m_appInstallTracked(std::move(appInstallTracked))
    , m_hockeyManager(std::move(hockeyManager))
{
}

void HockeyTrackingManager::send(TrackingEvent event)
{
    auto metrics = m_hockeyManager ? m_hockeyManager->metricsManager() : nullptr;
    if (!m_enableUsageTracking.value() || !metrics) {
        Platform::Log::line("Got no metricsManager from BITHockeyManager!");
        return;
    }
    metrics->trackEventWithName(eventName(event));
}

void HockeyTrackingManager::trackAppStart()
{
    if (!m_appInstallTracked->value()) {
        send(TrackingEvent::appInstall);
        m_appInstallTracked->set(true);
    }
    send(TrackingEvent::appStart);
}

void HockeyTrackingManager::trackLogin() { send(TrackingEvent::appLogin); }

void HockeyTrackingManager::trackDatabaseLost() { send(TrackingEvent::errDBLost); }

} // namespace Orvella
