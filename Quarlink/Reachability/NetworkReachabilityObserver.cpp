#include "Quarlink/Reachability/NetworkReachabilityObserver.hpp"

#include "Platform/Network/NetlinkReachabilityMonitor.hpp"

namespace Quarlink {

ReachabilityStatus reachabilityStatus(Platform::HostReachability reachability)
{
    return reachability == Platform::HostReachability::reachable ? ReachabilityStatus::reachable
                                                                  : ReachabilityStatus::notReachable;
}

std::expected<std::shared_ptr<NetworkReachabilityObserver>, NetworkReachabilityObserver::CreationError>
NetworkReachabilityObserver::create(const std::string& host, std::uint16_t port)
{
    if (host.empty())
        return std::unexpected(CreationError::missingHost);
    auto monitor = Platform::NetlinkReachabilityMonitor::create({ .host = host, .port = port });
    if (!monitor)
        return std::unexpected(CreationError::monitorUnavailable);
    return create(std::move(*monitor));
}

std::shared_ptr<NetworkReachabilityObserver> NetworkReachabilityObserver::create(
    std::unique_ptr<Platform::ReachabilityMonitor> monitor)
{
    return std::shared_ptr<NetworkReachabilityObserver>(new NetworkReachabilityObserver(std::move(monitor)));
}

NetworkReachabilityObserver::NetworkReachabilityObserver(std::unique_ptr<Platform::ReachabilityMonitor> monitor)
    : m_monitor(std::move(monitor))
    , m_statusStorage(std::make_shared<Reactive::MutableProperty<ReachabilityStatus>>(reachabilityStatus(m_monitor->status())))
    , m_status(*m_statusStorage)
{
}

NetworkReachabilityObserver::~NetworkReachabilityObserver()
{
    stopObservation();
}

bool NetworkReachabilityObserver::isRunning() const
{
    return m_monitor->isRunning();
}

void NetworkReachabilityObserver::startObservation()
{
    if (m_monitor->isRunning())
        return;
    std::weak_ptr<Reactive::MutableProperty<ReachabilityStatus>> weakStatus = m_statusStorage;
    m_monitor->start([weakStatus](Platform::HostReachability reachability) {
        if (auto status = weakStatus.lock())
            status->set(reachabilityStatus(reachability));
    });
}

void NetworkReachabilityObserver::stopObservation()
{
    m_monitor->stop();
}

} // namespace Quarlink
