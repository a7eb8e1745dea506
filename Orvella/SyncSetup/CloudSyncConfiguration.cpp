#include "Orvella/SyncSetup/CloudSyncConfiguration.hpp"

#include "Shared/SharedConstants.hpp"

#include <cmath>
#include <limits>

namespace Orvella {

namespace {

template<class T>
Reactive::Property<T> withoutRepeats(const Reactive::Property<T>& property)
{
    return Reactive::Property<T>::follow(property.value(), property.producer().skipRepeats(), true);
}

std::chrono::nanoseconds checkedInterval(double interval)
{
    auto seconds = CloudSyncConfiguration::wholeSeconds(interval);
    if (!seconds)
        fatalError("Ungültiges Synchronisierungsintervall der Marke");
    return *seconds;
}

} // namespace

std::optional<std::chrono::seconds> CloudSyncConfiguration::wholeSeconds(double interval)
{
    // Nanoseconds are what the scheduler counts in, so the whole seconds must fit them too.
    constexpr double limit = static_cast<double>(std::numeric_limits<std::int64_t>::max() / 1'000'000'000);
    if (!std::isfinite(interval) || std::trunc(interval) > limit || std::trunc(interval) < -limit)
        return std::nullopt;
    return std::chrono::seconds(static_cast<std::int64_t>(std::trunc(interval)));
}

CloudSyncConfiguration::CloudSyncConfiguration(const ClientConfiguration& configuration, Reactive::Property<bool> isLoggedIn,
    Reactive::Property<Quarlink::ReachabilityStatus> reachability, Reactive::Property<bool> isSyncEnabledSetting)
    : m_isSyncEnabled(withoutRepeats(isLoggedIn.andWith(isSyncEnabledSetting)))
    , m_isRemoteReachable(withoutRepeats(reachability.map([](Quarlink::ReachabilityStatus status) {
        return status != Quarlink::ReachabilityStatus::notReachable;
    })))
    , m_syncInterval(checkedInterval(configuration.syncInterval()))
{
}

} // namespace Orvella
