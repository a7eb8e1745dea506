#include "ClientTestSupport.hpp"

#include "Quarlink/Reachability/NetworkReachabilityObserver.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;
using Platform::HostReachability;

TEST(NetworkReachabilityObserver, publishesEveryAssessmentAsReachableOrNot)
{
    // The status starts from the monitor's own reading, every assessment (repeats too) is one more
    // value, the signal carries only later values, and the third status never appears.
    auto control = std::make_shared<ScriptedReachabilityMonitor::Control>();
    control->status = HostReachability::notReachable;
    auto observer = NetworkReachabilityObserver::create(std::make_unique<ScriptedReachabilityMonitor>(control));
    EXPECT_EQ(observer->status(), ReachabilityStatus::notReachable);

    observer->startObservation();
    observer->startObservation();
    EXPECT_EQ(control->starts, 1);
    EXPECT_TRUE(observer->isRunning());

    Recorder<ReachabilityStatus, Reactive::NoError> all(observer->statusProducer());
    std::vector<ReachabilityStatus> later;
    auto observation = observer->statusValues().observeValues([&](const ReachabilityStatus& status) { later.push_back(status); });
    control->report(HostReachability::reachable);
    control->report(HostReachability::reachable);
    control->report(HostReachability::notReachable);

    using S = ReachabilityStatus;
    EXPECT_EQ(all.values(), (std::vector<S> { S::notReachable, S::reachable, S::reachable, S::notReachable }));
    EXPECT_EQ(later, (std::vector<S> { S::reachable, S::reachable, S::notReachable }));
    observation.dispose();
}

TEST(NetworkReachabilityObserver, stoppingOrDestroyingEndsTheCallbacks)
{
    // After a stop no assessment reaches the observer; a new start registers again; destroying the
    // observer unregisters it, so a late assessment touches nothing.
    auto control = std::make_shared<ScriptedReachabilityMonitor::Control>();
    auto observer = NetworkReachabilityObserver::create(std::make_unique<ScriptedReachabilityMonitor>(control));
    observer->startObservation();
    observer->stopObservation();
    EXPECT_FALSE(observer->isRunning());
    control->report(HostReachability::notReachable);
    EXPECT_EQ(observer->status(), ReachabilityStatus::reachable);

    observer->startObservation();
    EXPECT_EQ(control->starts, 2);
    control->report(HostReachability::notReachable);
    EXPECT_EQ(observer->status(), ReachabilityStatus::notReachable);

    observer.reset();
    EXPECT_FALSE(control->running);
    control->report(HostReachability::reachable);
}

TEST(NetworkReachabilityObserver, watchesALoopbackHostWithTheNetlinkMonitor)
{
    // The platform monitor for a listening loopback port reports it reachable; an empty host makes no observer.
    auto server = LocalCloud::LocalCloudServer::start({ .dataFolder = std::filesystem::temp_directory_path()
        / ("reachability-" + std::to_string(::getpid())), .testControls = true });
    ASSERT_TRUE(server.has_value());
    auto observer = NetworkReachabilityObserver::create("127.0.0.1", static_cast<std::uint16_t>((*server)->port()));
    ASSERT_TRUE(observer.has_value());
    EXPECT_EQ((*observer)->status(), ReachabilityStatus::reachable);
    EXPECT_EQ(NetworkReachabilityObserver::create("", 80).error(), NetworkReachabilityObserver::CreationError::missingHost);
    std::error_code ignored;
    std::filesystem::remove_all((*server)->dataFolder(), ignored);
}
